#include "platform/queue_wait.h"

#include <windows.h>

namespace tarvelmond::platform {
namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the slim lock and the condition variable are one pointer each, zero when fresh");

PSRWLOCK srw(void*& storage) {
    return reinterpret_cast<PSRWLOCK>(&storage);
}

// The system's wait behind SleepConditionVariableSRW takes its time-out in 100 ns units rather than
// whole milliseconds: where the system keeps time finer than the timer's millisecond (Wine does), a
// frame waiting a fraction of a millisecond for the wire goes when it can, not up to 1 ms later.
using FineSleep = LONG(NTAPI*)(PCONDITION_VARIABLE, PSRWLOCK, const LARGE_INTEGER*, ULONG);

FineSleep fineSleep() {
    static const FineSleep sleep = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll == nullptr ? nullptr
                                : reinterpret_cast<FineSleep>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(ntdll, "RtlSleepConditionVariableSRW")));
    }();
    return sleep;
}

}  // namespace

void QueueMutex::lock() {
    AcquireSRWLockExclusive(srw(lock_));
}

void QueueMutex::unlock() {
    ReleaseSRWLockExclusive(srw(lock_));
}

bool QueueMutex::try_lock() {
    return TryAcquireSRWLockExclusive(srw(lock_)) != 0;
}

void QueueCondition::notify_all() {
    WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&condition_));
}

bool QueueCondition::waitOnce(QueueMutex& mutex, std::chrono::steady_clock::time_point until) {
    const auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    const auto condition = reinterpret_cast<PCONDITION_VARIABLE>(&condition_);
    if (const FineSleep sleep = fineSleep(); sleep != nullptr) {
        LARGE_INTEGER relative;  // negative: relative, in 100 ns units, rounded up
        relative.QuadPart =
            -std::chrono::ceil<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(left).count();
        sleep(condition, srw(mutex.lock_), &relative, 0);
        return true;
    }
    // Whole milliseconds, rounded up: a wait that ends early would only wait again at once.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    SleepConditionVariableSRW(condition, srw(mutex.lock_), static_cast<DWORD>(ms), 0);
    return true;
}

}  // namespace tarvelmond::platform
