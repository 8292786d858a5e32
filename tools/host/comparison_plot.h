#pragma once
#include <array>
#include <string>
#include <vector>

namespace tarvelmond::host {

// Two runs of the six axes over the same ticks, one panel per axis, the recorded one in grey and the
// replayed one in colour; each pixel column shows the lowest and highest value of its ticks.
struct AxisSeries {
    std::string label;
    std::array<std::vector<double>, 6> axes;
};

std::string comparisonSvg(const AxisSeries& recorded, const AxisSeries& replayed);

}  // namespace tarvelmond::host
