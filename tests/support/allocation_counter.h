#pragma once
// Replaces the global operator new and delete with counting ones. Include it in exactly one source
// file of a program of its own (a *_solo_test.cpp): the counts then cover every allocation the program
// makes, its threads included.
#include <atomic>
#include <cstdlib>
#include <new>

namespace tarvelmond::test {

inline std::atomic<long> processAllocations{0};
// Atomic so that a test can read another thread's count (a loop that runs on a thread of its own).
inline thread_local std::atomic<long> threadAllocations{0};

// Allocations of the whole process, and of the calling thread only (for code that must not allocate
// while other threads, such as test peers, do).
inline long allocationsInProcess() {
    return processAllocations.load(std::memory_order_relaxed);
}
inline long allocationsOnThisThread() {
    return threadAllocations.load(std::memory_order_relaxed);
}
// The calling thread's counter, for another thread to read while this one runs.
inline const std::atomic<long>& allocationCounterOfThisThread() {
    return threadAllocations;
}

}  // namespace tarvelmond::test

// Kept out of line: once inlined next to a new-expression, malloc and free would draw
// mismatched-allocation warnings.
[[gnu::noinline]] void* operator new(std::size_t size) {
    tarvelmond::test::processAllocations.fetch_add(1, std::memory_order_relaxed);
    tarvelmond::test::threadAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
    std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
