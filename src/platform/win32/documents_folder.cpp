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

std::tm localTime(std::time_t t) {
    std::tm result{};
    localtime_s(&result, &t);
    return result;
}

}  // namespace tarvelmond::platform
