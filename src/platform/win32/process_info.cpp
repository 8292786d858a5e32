#include "platform/process_info.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#include <tlhelp32.h>

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

bool otherThreadsEndedByExit() {
    // Documented in ntdll only; asked by name so that a system without it reads as "not ending".
    using ShutdownInProgress = BOOLEAN(WINAPI*)();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    const auto inProgress =
        reinterpret_cast<ShutdownInProgress>(GetProcAddress(ntdll, "RtlDllShutdownInProgress"));
    return inProgress != nullptr && inProgress() != FALSE;
}

std::uint32_t currentProcessId() {
    return GetCurrentProcessId();
}

int threadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = GetCurrentProcessId();
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

std::int64_t residentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<std::int64_t>(counters.WorkingSetSize);
}

namespace {

// Kernel and user time of a thread in microseconds; -1 when the system cannot tell.
std::int64_t threadTimesMicroseconds(HANDLE thread) {
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(thread, &creation, &exit, &kernel, &user)) return -1;
    auto toInt = [](const FILETIME& t) {
        return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (toInt(kernel) + toInt(user)) / 10;
}

}  // namespace

std::int64_t threadCpuMicroseconds() {
    const std::int64_t us = threadTimesMicroseconds(GetCurrentThread());
    return us < 0 ? 0 : us;
}

ThreadCpuClock::ThreadCpuClock() : clock_(0) {
    HANDLE thread = nullptr;
    // GetCurrentThread is a pseudo handle that means "the caller" wherever it is used.
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                        THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0))
        clock_ = reinterpret_cast<std::intptr_t>(thread);
}

ThreadCpuClock::~ThreadCpuClock() {
    if (clock_ != 0) CloseHandle(reinterpret_cast<HANDLE>(clock_));
}

std::int64_t ThreadCpuClock::microseconds() const {
    return clock_ == 0 ? -1 : threadTimesMicroseconds(reinterpret_cast<HANDLE>(clock_));
}

}  // namespace tarvelmond::platform
