#pragma once
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Filter chains: a filter string such as GAIN(EMALP(VALUE;10);2) becomes a chain of stages, outermost
// operator first, ending in the VALUE stage.
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

// One stage: its operator, its arguments and its running state.
struct FilterSys {
    FilterKind kind = VALUE;
    const char* keyword = "";  // empty on the stage of a rejected string
    float p1 = 0.0f, p2 = 0.0f, p3 = 0.0f, p4 = 0.0f;
    float state = 0.0f;                 // EMA value or SINUS phase
    std::unique_ptr<NoiseLayer> noise;  // NOISE stages only
};

// A parsed filter string. Its stages and validity are fixed once it is built; evaluating it changes only
// the stages' running state, so one thread evaluates it at a time (the tick, or whoever holds a chain of
// its own) and the engine swaps whole chains between evaluations.
struct FilterChain {
    std::vector<FilterSys> stages;  // outermost first; the innermost is VALUE
    bool valid = false;
};

const char* filterKeyword(FilterKind kind);

// A stage with the given operator and arguments, its keyword and, for NOISE, its noise layer.
FilterSys makeFilterStage(FilterKind kind, float p1, float p2, float p3, float p4);

// A failed parse yields a lone VALUE stage with an empty keyword and valid false.
FilterChain parseFilterString(const char* text);

// Takes the number after the last ';' off the end of `text`; leaves `text` unchanged on failure.
bool popLastNumber(std::string& text, double& value);

// Runs one value through the chain, innermost stage first. Returns 0.0 for a chain that is not valid.
// Allocates nothing.
double evaluateFilterChain(FilterChain& chain, double x);

}  // namespace tarvelmond
