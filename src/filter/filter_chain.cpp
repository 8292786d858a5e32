#include <cstdint>

#include "filter/filter_chain.h"

namespace tarvelmond {

namespace {

// The generator takes the low 32 bits of the argument truncated toward zero to 64 bits. Outside the
// 64-bit range (infinities and NaN included) that truncation has no defined result; 0 is chosen because
// every float of 2^55 or more is a multiple of 2^32 and so already yields 0 there.
std::uint32_t noiseSeed(float argument) {
    constexpr float kTwoPow63 = 0x1p63f;
    if (!(argument >= -kTwoPow63 && argument < kTwoPow63)) {
        return 0;
    }
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

FilterSys makeFilterStage(FilterKind kind, float p1, float p2, float p3, float p4) {
    FilterSys stage{.kind = kind, .keyword = filterKeyword(kind), .p1 = p1, .p2 = p2, .p3 = p3, .p4 = p4};
    if (kind == NOISE) stage.noise = std::make_unique<NoiseLayer>(p1, p2, noiseSeed(p3));
    return stage;
}

}  // namespace tarvelmond
