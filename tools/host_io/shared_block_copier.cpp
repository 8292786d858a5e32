#include "shared_block_copier.h"

#include <algorithm>
#include <cstring>

#include "platform/shared_memory.h"

namespace tarvelmond::hostio {
namespace {

using namespace std::chrono_literals;

constexpr auto kPeriod = 1ms;
constexpr double kCopiedBytesPerSecond = 100e6;
constexpr auto kRetry = 100ms;     // a block not there yet is looked for again this often
constexpr auto kReopenAfter = 1s;  // a block unchanged this long is opened afresh: the game may have
                                   // closed it and published a new one under the same name

struct Copy {
    WatchedBlock block;
    platform::SharedMemory view;
    std::vector<std::uint8_t> last;
    std::vector<std::uint8_t> scratch;
    SharedBlockCopier::Clock::time_point lastTry{};
    SharedBlockCopier::Clock::time_point lastChange{};
    SharedBlockCopier::Clock::time_point lastCopy{};
    SharedBlockCopier::Clock::duration period = kPeriod;
};

SharedBlockCopier::Clock::duration periodFor(std::size_t size) {
    const std::chrono::duration<double> atRate(static_cast<double>(size) / kCopiedBytesPerSecond);
    return std::max<SharedBlockCopier::Clock::duration>(
        kPeriod, std::chrono::duration_cast<SharedBlockCopier::Clock::duration>(atRate));
}

}  // namespace

SharedBlockCopier::SharedBlockCopier(Observer observe) : observe_(std::move(observe)) {
    thread_ = std::thread([this] { run(); });
}

SharedBlockCopier::~SharedBlockCopier() {
    stop_.store(true);
    thread_.join();
}

void SharedBlockCopier::watch(std::vector<WatchedBlock> blocks) {
    const std::lock_guard lock(watchMutex_);
    pending_ = std::move(blocks);
    changed_ = true;
}

void SharedBlockCopier::run() {
    std::vector<Copy> copies;
    while (!stop_.load()) {
        {
            const std::lock_guard lock(watchMutex_);
            if (changed_) {
                copies.clear();
                for (WatchedBlock& block : pending_)
                    copies.push_back({.block = std::move(block)});
                pending_.clear();
                changed_ = false;
            }
        }
        const Clock::time_point now = Clock::now();
        for (Copy& copy : copies) {
            if (copy.view.isOpen() && now - copy.lastChange > kReopenAfter) copy.view.close();
            if (!copy.view.isOpen()) {
                if (now - copy.lastTry < kRetry) continue;
                copy.lastTry = now;
                if (!copy.view.openExisting(copy.block.name, copy.block.size, platform::ViewAccess::ReadOnly))
                    continue;
                copy.view.releaseName();  // the name lasts only as long as the game keeps it
                copy.lastChange = now;
                copy.scratch.resize(copy.view.size());
                copy.period = periodFor(copy.view.size());
            } else if (now - copy.lastCopy < copy.period) {
                continue;
            }
            copy.lastCopy = now;
            // Copied first, then compared: the game writes the block while it is read.
            std::memcpy(copy.scratch.data(), copy.view.data(), copy.scratch.size());
            if (copy.scratch == copy.last) continue;
            const RawBlock frame = blockFrameBetween(copy.block.name, 0.0, copy.last, copy.scratch);
            copy.last.swap(copy.scratch);
            copy.scratch.resize(copy.last.size());
            copy.lastChange = now;
            observe_(frame, now);
        }
        std::this_thread::sleep_for(kPeriod);
    }
}

}  // namespace tarvelmond::hostio
