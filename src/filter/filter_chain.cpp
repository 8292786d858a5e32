#include <cstdint>
#include <utility>

#include "filter/filter_sys.h"

namespace tarvelmond {

namespace {

// The generator takes the low 32 bits of the argument truncated toward zero to 64 bits. Outside the
// 64-bit range (infinities and NaN included) that truncation has no defined result; 0 is chosen because
// every float of 2^55 or more is a multiple of 2^32 and so already yields 0 there.
std::uint32_t noiseSeed(float argument) {
    constexpr float kTwoPow63 = 0x1p63f;
    if (!(argument >= -kTwoPow63 && argument < kTwoPow63)) return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(argument));
}

}  // namespace

const char* filterKeyword(FilterKind kind) {
    switch (kind) {
        case VALUE:
            return "VALUE";
        case EMALP:
            return "EMALP";
        case EMAHP:
            return "EMAHP";
        case MUL:
            return "MUL";
        case GAIN:
            return "GAIN";
        case LOGISTIC:
            return "LOGISTIC";
        case CROP:
            return "CROP";
        case ROLLOVER:
            return "ROLLOVER";
        case REMAP:
            return "REMAP";
        case NOISE:
            return "NOISE";
        case BITSCALE:
            return "BITSCALE";
        case BITSCALESIGNED:
            return "BITSCALESIGNED";
        case SINUS:
            return "SINUS";
        case ABS:
            return "ABS";
    }
    return "";
}

FilterSys::FilterSys(FilterKind stageKind, float a1, float a2, float a3, float a4)
    : kind(stageKind), keyword(filterKeyword(stageKind)), p1(a1), p2(a2), p3(a3), p4(a4) {}

std::shared_ptr<FilterSys> innermostStage(FilterSys& head) {
    // Only the stage being visited is held, so a stage that a concurrent replacement has let go of can
    // die as soon as the walk has moved past it.
    std::shared_ptr<FilterSys> stage = head.shared_from_this();
    for (;;) {
        std::shared_ptr<FilterSys> next;
        {
            std::lock_guard lock(stage->linkMutex);
            next = stage->inner;
        }
        if (!next) return stage;
        stage = std::move(next);
    }
}

std::shared_ptr<FilterSys> appendFilterStage(std::shared_ptr<FilterSys> chain, FilterKind kind, float p1,
                                             float p2, float p3, float p4) {
    auto stage = std::make_shared<FilterSys>(kind, p1, p2, p3, p4);
    if (kind == NOISE) stage->noise = std::make_shared<NoiseLayer>(p1, p2, noiseSeed(p3));
    if (!chain) return stage;

    // One stage mutex at a time, never nested, so linking can't deadlock against a walk going the other way.
    std::shared_ptr<FilterSys> last = innermostStage(*chain);
    {
        std::lock_guard lock(last->linkMutex);
        last->inner = stage;
    }
    {
        std::lock_guard lock(stage->linkMutex);
        stage->outer = last;
    }
    return chain;
}

}  // namespace tarvelmond
