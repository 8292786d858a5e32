#pragma once
#include <cstdint>
#include <random>
#include <vector>

namespace tarvelmond::rig_safety {

// Draws from a seed the same numbers on every platform: the 64-bit Mersenne Twister is fixed by the
// standard, and the ranges are made here rather than by the library's distributions, whose
// algorithms are the implementation's choice.
class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}

    double uniform(double low, double high) {
        const double unit = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
        return low + (high - low) * unit;
    }
    int between(int low, int high) {  // both included
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<int>(engine_() % span);
    }
    bool chance(double probability) { return uniform(0.0, 1.0) < probability; }
    double sign() { return chance(0.5) ? -1.0 : 1.0; }
    template <typename T>
    const T& pick(const std::vector<T>& choices) {
        return choices[static_cast<std::size_t>(between(0, static_cast<int>(choices.size()) - 1))];
    }

  private:
    std::mt19937_64 engine_;
};

}  // namespace tarvelmond::rig_safety
