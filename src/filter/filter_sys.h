#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>

// Filter chains: a filter string such as GAIN(EMALP(VALUE;10);2) becomes a chain of stages, outermost
// operator first, ending in the VALUE stage. The head owns the next stage through `inner`; `outer` links
// point back without owning, so releasing the head releases the whole chain.
namespace tarvelmond {

enum FilterKind : std::int32_t {
    VALUE = 0,
    EMALP = 1,
    EMAHP = 2,
    MUL = 3,
    GAIN = 4,
    LOGISTIC = 5,
    CROP = 6,
    ROLLOVER = 7,
    REMAP = 8,
    NOISE = 9,
    BITSCALE = 10,
    BITSCALESIGNED = 11,
    SINUS = 12,
    ABS = 13,
};

// Piecewise-linear random line of a NOISE stage: one random target in [-1, 1] per period.
struct NoiseLayer {
    NoiseLayer(float amplitude, float period, std::uint32_t seed);

    float draw();     // next target: low + (high - low) * (g * 2^-32), single precision
    float advance();  // one 2 ms step along the line; returns the noise value, amplitude applied

    float amplitude;
    float period;
    float phase = 0.0f;
    float from = 0.0f;
    float to = 0.0f;
    std::mt19937 generator;
    float low = -1.0f;
    float high = 1.0f;
};

// One stage. The weak self-reference of the design is the one enable_shared_from_this keeps.
struct FilterSys : std::enable_shared_from_this<FilterSys> {
    FilterSys(FilterKind kind, float p1, float p2, float p3, float p4);

    FilterKind kind;
    std::string keyword;
    float p1, p2, p3, p4;
    float state = 0.0f;                 // EMA value or SINUS phase
    std::shared_ptr<FilterSys> inner;   // toward VALUE; empty on the VALUE stage
    std::weak_ptr<FilterSys> outer;     // the enclosing stage; empty on the head
    std::shared_ptr<NoiseLayer> noise;  // NOISE stages only
    std::mutex linkMutex;               // guards inner and outer
    std::atomic<bool> valid{false};     // meaningful on the head only
};

const char* filterKeyword(FilterKind kind);

// Never returns an empty pointer: a failed parse yields a lone VALUE stage with valid false.
std::shared_ptr<FilterSys> parseFilterString(const char* text);

// Appends a new innermost stage; returns the (possibly new) head. Used by the parser.
std::shared_ptr<FilterSys> appendFilterStage(std::shared_ptr<FilterSys> chain, FilterKind kind, float p1,
                                             float p2, float p3, float p4);

// Takes the number after the last ';' off the end of `text`; leaves `text` unchanged on failure.
bool popLastNumber(std::string& text, double& value);

std::shared_ptr<FilterSys> innermostStage(FilterSys& head);

// Runs one value through the chain, innermost stage first. Returns 0.0 for a chain whose head is not
// valid. Allocates nothing; the caller keeps the chain alive.
double evaluateFilterChain(FilterSys& head, double x);

}  // namespace tarvelmond
