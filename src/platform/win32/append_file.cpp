#include "platform/append_file.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {

bool AppendFile::open(const std::string& path) {
    close();
    // Append-only access makes every write land at the current end of the file.
    HANDLE file = CreateFileW(widen(path).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool AppendFile::isOpen() const {
    return handle_ != -1;
}

bool AppendFile::append(std::string_view text) {
    DWORD written = 0;
    return handle_ != -1 &&
           WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()),
                     &written, nullptr) &&
           written == text.size();
}

void AppendFile::close() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace tarvelmond::platform
