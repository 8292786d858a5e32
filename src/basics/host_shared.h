#pragma once
#include <atomic>

// The host reads several engine arrays by address while the game-source thread rewrites them, and
// the host's setters write values that thread reads. Every such access goes through a relaxed atomic
// access: a reader may see one tick half updated, but never a torn value, and there is no data race.
namespace tarvelmond {

inline void publish(double& target, double value) {
    std::atomic_ref<double>(target).store(value, std::memory_order_relaxed);
}

inline double observe(const double& source) {
    return std::atomic_ref<double>(const_cast<double&>(source)).load(std::memory_order_relaxed);
}

}  // namespace tarvelmond
