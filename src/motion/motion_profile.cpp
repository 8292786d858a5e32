#include "motion/motion_profile.h"

#include <stdexcept>
#include <utility>

namespace tarvelmond {

std::shared_ptr<FilterChain> ChainSlot::share() const {
    std::lock_guard lock(ownerMutex_);
    return owner_;
}

std::shared_ptr<FilterChain> ChainSlot::exchange(FilterChain chain) {
    auto installed = std::make_shared<FilterChain>(std::move(chain));
    std::lock_guard lock(ownerMutex_);
    current_.store(installed.get());
    owner_.swap(installed);
    return installed;
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
        FilterChain chain = parseFilterString("VALUE");
        chain.valid = false;
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
