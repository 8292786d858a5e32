#include "raw_input.h"

#include <algorithm>
#include <utility>

namespace tarvelmond::hostio {
namespace {

// Equal bytes between two changes that are cheaper to store than a second run's offset and length.
constexpr std::size_t kRunHead = 8;  // a run's offset and length in a recording
constexpr std::size_t kJoinGap = kRunHead;

}  // namespace

void applyBlockFrame(const RawBlock& frame, std::vector<std::uint8_t>& image) {
    image.resize(frame.size);
    applyBlockFrame(frame, std::span<std::uint8_t>(image));
}

void applyBlockFrame(const RawBlock& frame, std::span<std::uint8_t> image) {
    for (const ByteRun& run : frame.runs) {
        if (run.offset > image.size()) continue;
        const std::size_t room = image.size() - run.offset;
        std::copy_n(run.bytes.begin(), std::min(room, run.bytes.size()),
                    image.begin() + static_cast<std::ptrdiff_t>(run.offset));
    }
}

RawBlock blockFrameBetween(std::string name, double seconds, std::span<const std::uint8_t> before,
                           std::span<const std::uint8_t> after) {
    RawBlock frame{
        .seconds = seconds, .name = std::move(name), .size = static_cast<std::uint32_t>(after.size())};
    if (before.size() != after.size()) {
        frame.runs.push_back({0, {after.begin(), after.end()}});
        return frame;
    }
    std::size_t at = 0;
    while (true) {
        const auto differs = std::mismatch(before.begin() + static_cast<std::ptrdiff_t>(at), before.end(),
                                           after.begin() + static_cast<std::ptrdiff_t>(at));
        const auto start = static_cast<std::size_t>(differs.first - before.begin());
        if (start == before.size()) break;
        // The run ends where kJoinGap equal bytes follow, or with the block.
        std::size_t end = start + 1;
        std::size_t equal = 0;
        for (std::size_t i = end; i < after.size() && equal < kJoinGap; ++i) {
            if (before[i] == after[i]) {
                ++equal;
            } else {
                equal = 0;
                end = i + 1;
            }
        }
        frame.runs.push_back({static_cast<std::uint32_t>(start),
                              {after.begin() + static_cast<std::ptrdiff_t>(start),
                               after.begin() + static_cast<std::ptrdiff_t>(end)}});
        at = end;
    }
    std::size_t cost = 0;
    for (const ByteRun& run : frame.runs)
        cost += kRunHead + run.bytes.size();
    if (cost >= after.size()) {
        frame.runs.assign(1, {0, {after.begin(), after.end()}});
    }
    return frame;
}

}  // namespace tarvelmond::hostio
