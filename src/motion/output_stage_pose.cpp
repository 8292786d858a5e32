#include "motion/output_stage_pose.h"

#include <cstring>

namespace tarvelmond {

bool PoseBlock::open() {
    std::lock_guard lock(mutex_);
    if (memory_.isOpen()) return true;
    if (!memory_.createOrOpen(kName, kSize, platform::ViewAccess::ReadWrite)) return false;
    view_.store(memory_.writableData());
    return true;
}

void PoseBlock::close() {
    std::lock_guard lock(mutex_);
    view_.store(nullptr);
    writes_.waitForEvaluations();
    memory_.close();
}

void PoseBlock::write(const std::array<double, 6>& pose) {
    writes_.enter();
    if (unsigned char* view = view_.load()) {
        // Another process reads the block as it likes; each double is stored whole.
        for (std::size_t k = 0; k < pose.size(); ++k) {
            std::atomic_ref<double>(*reinterpret_cast<double*>(view + k * sizeof(double)))
                .store(pose[k], std::memory_order_relaxed);
        }
    }
    writes_.leave();
}

}  // namespace tarvelmond
