#include "platform/scheduling.h"

#include <windows.h>
// The multimedia timer API is not part of the lean windows.h.
#include <timeapi.h>

namespace tarvelmond::platform {
namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#ifndef PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
#define PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4
#endif

// One high-resolution waitable timer per sleeping thread, closed when the thread ends. Systems before
// Windows 10 1803 refuse the high-resolution flag; an ordinary waitable timer still waits for a
// duration in 100 ns units there, at the resolution of the system timer.
class ThreadWaitableTimer {
  public:
    ThreadWaitableTimer()
        : handle_(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                         TIMER_ALL_ACCESS)) {
        if (handle_ == nullptr) handle_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ~ThreadWaitableTimer() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    ThreadWaitableTimer(const ThreadWaitableTimer&) = delete;
    ThreadWaitableTimer& operator=(const ThreadWaitableTimer&) = delete;

    bool wait(std::uint32_t milliseconds) {
        return waitHundredsOfNs(static_cast<LONGLONG>(milliseconds) * 10'000);
    }

    bool waitHundredsOfNs(LONGLONG duration) {
        if (handle_ == nullptr) return false;
        LARGE_INTEGER due;
        due.QuadPart = -duration;  // negative: relative to now
        if (!SetWaitableTimerEx(handle_, &due, 0, nullptr, nullptr, nullptr, 0)) return false;
        return WaitForSingleObject(handle_, INFINITE) == WAIT_OBJECT_0;
    }

  private:
    HANDLE handle_;
};

struct PowerThrottlingState {  // PROCESS_POWER_THROTTLING_STATE, declared here for older headers
    ULONG Version;
    ULONG ControlMask;
    ULONG StateMask;
};

ThreadWaitableTimer& threadTimer() {
    thread_local ThreadWaitableTimer timer;
    return timer;
}

}  // namespace

void sleepMilliseconds(std::uint32_t milliseconds) {
    if (!threadTimer().wait(milliseconds)) Sleep(milliseconds);
}

void sleepUntilCounter(std::int64_t counter) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    if (now.QuadPart >= counter) return;
    // Waitable timers take absolute times on the system clock, which is not the performance counter
    // and may be adjusted; the rest of the way on the counter is the robust measure.
    const LONGLONG remaining = (counter - now.QuadPart) * 10'000'000 / frequency.QuadPart;
    if (remaining <= 0) return;
    if (!threadTimer().waitHundredsOfNs(remaining)) Sleep(static_cast<DWORD>((remaining + 9'999) / 10'000));
}

void requestFineTimerResolution() {
    timeBeginPeriod(1);
    // Windows 11 ignores the timer request of a process whose windows are hidden or minimised unless
    // the process opts out of that throttling; a motion host normally runs behind the game.
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    auto setProcessInformation = reinterpret_cast<SetProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (setProcessInformation != nullptr) {
        PowerThrottlingState state{1, PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
        constexpr int kProcessPowerThrottling = 4;
        setProcessInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof(state));
    }
}

void raiseToRealtimePriority() {
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

std::int64_t processCpuMicroseconds() {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0;
    auto toInt = [](const FILETIME& t) {
        return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (toInt(kernel) + toInt(user)) / 10;
}

}  // namespace tarvelmond::platform
