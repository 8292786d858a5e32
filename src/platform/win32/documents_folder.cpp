#include "platform/documents_folder.h"

#include <windows.h>
// the shell's folder call needs the base types of windows.h
#include <shlobj.h>

namespace tarvelmond::platform {

std::string documentsFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

std::string commonDocumentsFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

std::string currentDirectory(std::size_t maxLength) {
    std::string path(maxLength + 1, '\0');
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length > maxLength) return {};
    path.resize(length);
    return path;
}

std::tm localTime(std::time_t t) {
    std::tm result{};
    localtime_s(&result, &t);
    return result;
}

}  // namespace tarvelmond::platform
