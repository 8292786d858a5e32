#pragma once
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "filter/filter_chain.h"
#include "games/telemetry_record.h"

namespace tarvelmond {

inline constexpr int kDofChannels = 23;

// One DOF channel's filter chain. The game-source thread reads it through an atomic pointer (inside
// an EvaluationGate bracket); host threads own the chain and swap it under a mutex that the
// game-source thread never takes.
class ChainSlot {
  public:
    FilterChain* current() const { return current_.load(); }
    std::shared_ptr<FilterChain> share() const;
    // Installs `chain` and hands back the previous owner; release it only after the gate has let the
    // evaluations that may still see it finish.
    std::shared_ptr<FilterChain> exchange(FilterChain chain);

  private:
    mutable std::mutex ownerMutex_;
    std::shared_ptr<FilterChain> owner_;
    std::atomic<FilterChain*> current_{nullptr};
};

// Per-DOF settings for one situation: active flags, belt-mix weights and filter chains.
class MotionProfile {
  public:
    explicit MotionProfile(std::string name);
    MotionProfile(const MotionProfile&) = delete;
    MotionProfile& operator=(const MotionProfile&) = delete;

    const std::string& name() const { return name_; }
    bool getActivedof(int dof) const;  // throws std::out_of_range above 22
    // At once: for a profile no running tick reads.
    void setActive(int dof, bool active) {
        requestedActive_[dof].store(active, std::memory_order_relaxed);
        active_[dof].store(active, std::memory_order_relaxed);
    }
    // A host's change, which counts from the next hold on: the tick that takes the hold is the first
    // to compute with it, so the output fades into the change instead of jumping with it.
    void requestActive(int dof, bool active) {
        requestedActive_[dof].store(active, std::memory_order_relaxed);
    }
    void takeRequestedActive();
    double beltMix(int index) const { return beltMix_[index].load(std::memory_order_relaxed); }
    void setBeltMix(int index, double weight) { beltMix_[index].store(weight, std::memory_order_relaxed); }
    ChainSlot& chain(int dof) { return chains_[dof]; }
    const ChainSlot& chain(int dof) const { return chains_[dof]; }

  private:
    std::string name_;
    std::array<std::atomic<bool>, kDofChannels> active_;  // what the cues are computed with
    std::array<std::atomic<bool>, kDofChannels> requestedActive_;
    std::array<std::atomic<double>, kGameDataSlots> beltMix_;
    std::array<ChainSlot, kDofChannels> chains_;
};

}  // namespace tarvelmond
