#include "platform/process_info.h"

#include <windows.h>

#include <string>

namespace tarvelmond::platform {

std::string executablePath() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), result.data(), bytes, nullptr, nullptr);
    return result;
}

int openResourceCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<int>(count);
    // Where the count is not kept (Wine reports 0), ask every possible handle value whether it is one.
    int found = 0;
    for (std::uintptr_t value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++found;
    }
    return found;
}

std::uint32_t currentProcessId() {
    return GetCurrentProcessId();
}

std::int64_t threadCpuMicroseconds() {
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user)) return 0;
    auto toInt = [](const FILETIME& t) {
        return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (toInt(kernel) + toInt(user)) / 10;
}

}  // namespace tarvelmond::platform
