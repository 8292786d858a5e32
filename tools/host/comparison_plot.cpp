#include "comparison_plot.h"

#include "axis_names.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarvelmond::host {
namespace {

constexpr int kWidth = 900;
constexpr int kPanelHeight = 110;
constexpr int kLeft = 90;

// Lowest and highest value per pixel column, as a closed band.
std::string band(const std::vector<double>& values, double low, double high, int top, const char* colour) {
    if (values.empty()) {
        return {};
    }
    const int columns = kWidth - kLeft - 10;
    std::vector<std::pair<double, double>> extent(static_cast<std::size_t>(columns), {INFINITY, -INFINITY});
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            continue;
        }
        auto& [lowest, highest] = extent[i * static_cast<std::size_t>(columns) / values.size()];
        lowest = std::min(lowest, values[i]);
        highest = std::max(highest, values[i]);
    }
    const auto y = [&](double value) {
        return top + kPanelHeight - 10 - (value - low) / (high - low) * (kPanelHeight - 20);
    };
    std::string upper;
    std::string lower;
    char point[64];
    for (int column = 0; column < columns; ++column) {
        const auto& [lowest, highest] = extent[static_cast<std::size_t>(column)];
        if (!std::isfinite(lowest)) {
            continue;
        }
        std::snprintf(point, sizeof point, "%d,%.1f ", kLeft + column, y(highest));
        upper += point;
        std::snprintf(point, sizeof point, "%d,%.1f ", kLeft + column, y(lowest));
        lower = point + lower;
    }
    return "<polygon points=\"" + upper + lower + "\" fill=\"" + colour + "\" stroke=\"" + colour +
           "\" stroke-width=\"1\" fill-opacity=\"0.6\"/>\n";
}

}  // namespace

std::string comparisonSvg(const AxisSeries& recorded, const AxisSeries& replayed) {
    const int height = 40 + 6 * kPanelHeight;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
                      "\" height=\"" + std::to_string(height) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"10\" y=\"20\"><tspan fill=\"#777\">" + recorded.label +
           "</tspan>  vs  <tspan fill=\"#c03\">" + replayed.label + "</tspan></text>\n";
    for (std::size_t axis = 0; axis < 6; ++axis) {
        double low = 0.0;
        double high = 0.0;
        for (const auto* series : {&recorded.axes[axis], &replayed.axes[axis]}) {
            for (double value : *series) {
                if (std::isfinite(value)) {
                    low = std::min(low, value);
                    high = std::max(high, value);
                }
            }
        }
        if (high - low < 1e-9) {
            high = low + 1.0;
        }
        const int top = 30 + static_cast<int>(axis) * kPanelHeight;
        char text[160];
        std::snprintf(
            text, sizeof text,
            "<text x=\"10\" y=\"%d\">%s</text><text x=\"10\" y=\"%d\" fill=\"#777\">%.3g .. %.3g</text>\n",
            top + kPanelHeight / 2, kAxisNames[axis], top + kPanelHeight / 2 + 14, low, high);
        svg += text;
        std::snprintf(text, sizeof text,
                      "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"#ccc\"/>\n",
                      kLeft, top, kWidth - kLeft - 10, kPanelHeight - 4);
        svg += text;
        svg += band(recorded.axes[axis], low, high, top, "#777");
        svg += band(replayed.axes[axis], low, high, top, "#c03");
    }
    return svg + "</svg>\n";
}

}  // namespace tarvelmond::host
