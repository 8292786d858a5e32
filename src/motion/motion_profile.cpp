#include "motion/motion_profile.h"

#include <stdexcept>

namespace tarvelmond {

std::shared_ptr<FilterSys> ChainSlot::share() const {
    std::lock_guard lock(ownerMutex_);
    return owner_;
}

std::shared_ptr<FilterSys> ChainSlot::exchange(std::shared_ptr<FilterSys> chain) {
    std::lock_guard lock(ownerMutex_);
    head_.store(chain.get());
    owner_.swap(chain);
    return chain;
}

MotionProfile::MotionProfile(std::string name) : name_(std::move(name)) {
    for (auto& flag : active_)
        flag.store(true, std::memory_order_relaxed);
    for (auto& flag : requestedActive_)
        flag.store(true, std::memory_order_relaxed);
    for (auto& weight : beltMix_)
        weight.store(0.0, std::memory_order_relaxed);
    // Every channel starts with the pass-through chain marked not valid, so it yields 0.0 until the
    // host installs a chain of its own.
    for (auto& slot : chains_) {
        auto chain = parseFilterString("VALUE");
        chain->valid.store(false);
        slot.exchange(std::move(chain));
    }
}

void MotionProfile::takeRequestedActive() {
    for (std::size_t dof = 0; dof < active_.size(); ++dof) {
        active_[dof].store(requestedActive_[dof].load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
}

bool MotionProfile::getActivedof(int dof) const {
    if (dof < 0 || dof >= kDofChannels) throw std::out_of_range("Index out of range in getActivedof");
    return active_[dof].load(std::memory_order_relaxed);
}

}  // namespace tarvelmond
