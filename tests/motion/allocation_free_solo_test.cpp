// The cue computation runs 500 times a second on the real-time thread: it must not allocate. This
// program counts every allocation of the process and works ticks with 32 realistic chains.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "support/engine_fixture.h"
#include "support/realistic_profile.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace tarvelmond::test {
namespace {

TEST(AllocationFree, WorkedTicksWithRealisticChainsAllocateNothing) {
    EngineUnderTest e;
    installRealisticProfile(*e);
    e.setGround(false);
    for (int t = 0; t < 10; ++t)
        e.tick();  // first uses of lazily built runtime pieces

    const long before = allocations.load();
    for (int t = 0; t < 2000; ++t) {
        e.setChannel(Channel::lateral_accel_g, 0.001 * t);
        e.setChannel(Channel::roll_speed, -0.002 * t);
        e.setGround(t > 1000);  // a landing: the air/ground transition runs too
        e.tick();
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_FALSE(e->inTransition) << "the landing should have completed";
}

}  // namespace
}  // namespace tarvelmond::test
