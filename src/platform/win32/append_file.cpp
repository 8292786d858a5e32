#include "platform/append_file.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {

bool AppendFile::open(const std::string& path) {
    close();
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE,
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
    if (handle_ == -1) return false;
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    // Every writer, in this process or another, takes the whole file's lock, finds the end and writes
    // there; so no write lands where another one just went.
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) return false;
    DWORD written = 0;
    const bool ok = SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) &&
                    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    return ok;
}

void AppendFile::close() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace tarvelmond::platform
