#include "cue_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "dof_names.h"

namespace tarvelmond::offline {
namespace {

constexpr double kWidth = 1200.0;
constexpr double kLeft = 100.0;
constexpr double kPlotWidth = static_cast<double>(PlotRecorder::kColumns);
constexpr double kTop = 78.0;
constexpr double kPanelHeight = 112.0;
constexpr double kPanelGap = 16.0;
constexpr double kBottom = 52.0;
constexpr int kPanels = 7;  // six axes, then the weights
constexpr double kHeight = kTop + kPanels * (kPanelHeight + kPanelGap) - kPanelGap + kBottom;

constexpr std::array<const char*, 6> kAxisColours = {"#1f77b4", "#d62728", "#2ca02c",
                                                     "#9467bd", "#ff7f0e", "#17becf"};
constexpr const char* kAirColour = "#1f4e9c";
constexpr const char* kGroundColour = "#8c564b";
constexpr const char* kGroundShade = "#f1e4cf";
constexpr const char* kFadeShade = "#e4e4e4";

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A step of 1, 2 or 5 times a power of ten giving about `count` intervals over `span`.
double niceStep(double span, int count) {
    const double raw = span / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= raw) return factor * magnitude;
    }
    return 10.0 * magnitude;
}

std::string tickLabel(double value, double step) {
    char buffer[32];
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, std::abs(value) < step * 1e-6 ? 0.0 : value);
    return buffer;
}

struct Range {
    double low;
    double high;
};

Range rangeOf(const PlotRecorder& recorder, std::size_t series) {
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (const auto& column : recorder.columns()) {
        const auto& e = column.series[series];
        if (!e.seen) continue;
        low = any ? std::min(low, e.min) : e.min;
        high = any ? std::max(high, e.max) : e.max;
        any = true;
    }
    if (!(high - low > 1e-12)) return {low - 1.0, high + 1.0};
    const double pad = (high - low) * 0.06;
    return {low - pad, high + pad};
}

class PlotWriter {
  public:
    PlotWriter(std::ostream& out, const PlotRecorder& recorder, const PlotText& text)
        : out_(out), recorder_(recorder), text_(text) {}

    void write(const std::string& title) {
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
             << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
             << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
             << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
             << "<text x=\"" << kLeft << "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">"
             << escaped(title) << "</text>\n";
        legend();
        for (int axis = 0; axis < 6; ++axis) {
            const Range range = rangeOf(recorder_, static_cast<std::size_t>(axis));
            panel(axis, range,
                  text_.axisPanel + " " + std::to_string(axis) + " " +
                      std::string(kDofNames[static_cast<std::size_t>(axis)]));
            series(axis, static_cast<std::size_t>(axis), range, kAxisColours[static_cast<std::size_t>(axis)]);
        }
        const Range unit{-0.05, 1.05};
        panel(6, unit, "air/ground weight");
        series(6, 6, unit, kAirColour);
        series(6, 7, unit, kGroundColour);
        timeAxis();
        out_ << "</svg>\n";
    }

  private:
    static double panelTop(int panel) { return kTop + panel * (kPanelHeight + kPanelGap); }
    double durationS() const { return static_cast<double>(recorder_.totalTicks()) * kTickSeconds; }
    // Left edge of a column; a replay shorter than the plot is wide has fewer, wider columns.
    double columnLeft(double column) const {
        return kLeft + kPlotWidth * column / static_cast<double>(recorder_.columns().size());
    }
    static double valueY(int panel, const Range& range, double value) {
        return panelTop(panel) + kPanelHeight * (range.high - value) / (range.high - range.low);
    }

    void legend() {
        double x = kLeft;
        const double y = 48.0;
        auto entry = [&](const std::string& swatch, const std::string& label) {
            out_ << swatch << "<text x=\"" << x + 26 << "\" y=\"" << y + 4 << "\">" << label << "</text>\n";
            x += 34 + 7.0 * static_cast<double>(label.size());
        };
        auto line = [&](const char* colour) {
            return "<line x1=\"" + number(x) + "\" y1=\"" + number(y) + "\" x2=\"" + number(x + 20) +
                   "\" y2=\"" + number(y) + "\" stroke=\"" + colour + "\" stroke-width=\"2\"/>";
        };
        auto box = [&](const char* colour) {
            return "<rect x=\"" + number(x) + "\" y=\"" + number(y - 6) +
                   "\" width=\"20\" height=\"12\" fill=\"" + colour + "\" stroke=\"#999\"/>";
        };
        entry(line(kAxisColours[0]), escaped(text_.axisLegend));
        entry(line(kAirColour), "air weight");
        entry(line(kGroundColour), "ground weight");
        entry(box(kGroundShade), "on ground (telemetry)");
        entry(box(kFadeShade), "output fade running");
    }

    // Stretches of columns where a flag holds, as shaded bands behind the curves.
    void shade(int panel, bool PlotRecorder::Column::*flag, const char* colour) {
        const auto& columns = recorder_.columns();
        for (std::size_t c = 0; c < columns.size();) {
            if (!(columns[c].*flag)) {
                ++c;
                continue;
            }
            std::size_t end = c;
            while (end < columns.size() && columns[end].*flag)
                ++end;
            const double left = columnLeft(static_cast<double>(c));
            out_ << "<rect x=\"" << number(left) << "\" y=\"" << number(panelTop(panel)) << "\" width=\""
                 << number(columnLeft(static_cast<double>(end)) - left) << "\" height=\""
                 << number(kPanelHeight) << "\" fill=\"" << colour << "\" fill-opacity=\"0.6\"/>\n";
            c = end;
        }
    }

    void panel(int index, const Range& range, const std::string& label) {
        const double top = panelTop(index);
        out_ << "<g>\n";
        shade(index, &PlotRecorder::Column::onGround, kGroundShade);
        shade(index, &PlotRecorder::Column::fading, kFadeShade);  // see-through: on-ground shows beneath
        const double step = niceStep(range.high - range.low, 5);
        for (double v = std::ceil(range.low / step) * step; v <= range.high; v += step) {
            const double y = valueY(index, range, v);
            const bool zero = std::abs(v) < step * 1e-6;
            out_ << "<line x1=\"" << kLeft << "\" y1=\"" << number(y) << "\" x2=\"" << kLeft + kPlotWidth
                 << "\" y2=\"" << number(y) << "\" stroke=\"" << (zero ? "#888" : "#ddd") << "\"/>\n"
                 << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(y + 4)
                 << "\" text-anchor=\"end\" font-size=\"10\">" << tickLabel(v, step) << "</text>\n";
        }
        out_ << "<rect x=\"" << kLeft << "\" y=\"" << number(top) << "\" width=\"" << kPlotWidth
             << "\" height=\"" << kPanelHeight << "\" fill=\"none\" stroke=\"#444\"/>\n"
             << "<text x=\"" << kLeft + 6 << "\" y=\"" << number(top + 14) << "\" font-weight=\"bold\">"
             << escaped(label) << "</text>\n</g>\n";
    }

    void series(int panel, std::size_t index, const Range& range, const char* colour) {
        out_ << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.2\" points=\"";
        bool first = true;
        const auto& columns = recorder_.columns();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& e = columns[c].series[index];
            if (!e.seen) continue;
            const double x = columnLeft(static_cast<double>(c) + 0.5);
            const double a = e.minTick <= e.maxTick ? e.min : e.max;
            const double b = e.minTick <= e.maxTick ? e.max : e.min;
            out_ << (first ? "" : " ") << number(x) << ',' << number(valueY(panel, range, a));
            if (b != a) out_ << ' ' << number(x) << ',' << number(valueY(panel, range, b));
            first = false;
        }
        out_ << "\"/>\n";
    }

    void timeAxis() {
        const double bottom = panelTop(kPanels - 1) + kPanelHeight;
        const double duration = durationS();
        const double step = duration > 0.0 ? niceStep(duration, 12) : 1.0;
        for (double t = 0.0; t <= duration + 1e-9; t += step) {
            const double x = kLeft + kPlotWidth * (duration > 0.0 ? t / duration : 0.0);
            out_ << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x) << "\" y2=\""
                 << number(bottom + 5) << "\" stroke=\"#000\" stroke-opacity=\"0.12\"/>\n"
                 << "<text x=\"" << number(x) << "\" y=\"" << number(bottom + 18)
                 << "\" text-anchor=\"middle\">" << tickLabel(t, step) << "</text>\n";
        }
        out_ << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << number(bottom + 40)
             << "\" text-anchor=\"middle\">" << escaped(text_.timeCaption) << "</text>\n";
    }

    std::ostream& out_;
    const PlotRecorder& recorder_;
    const PlotText& text_;
};

}  // namespace

PlotRecorder::PlotRecorder(std::size_t totalTicks)
    : totalTicks_(totalTicks),
      columns_(std::min<std::size_t>(kColumns, std::max<std::size_t>(totalTicks, 1))) {}

void PlotRecorder::add(const TickView& tick) {
    const MotionEngine& engine = tick.engine;
    std::array<double, kSeries> values{};
    for (std::size_t axis = 0; axis < 6; ++axis)
        values[axis] = engine.cues.finalCues[axis];
    values[6] = engine.cues.airWeight.load();
    values[7] = engine.cues.groundWeight.load();
    add(tick.index, values, tick.onGround, engine.fade.progress.load() < 1.0);
}

void PlotRecorder::add(std::size_t tick, const std::array<double, kSeries>& values, bool onGround,
                       bool fading) {
    if (tick >= totalTicks_) return;
    Column& column = columns_[tick * columns_.size() / totalTicks_];
    for (std::size_t series = 0; series < kSeries; ++series) {
        Extremes& e = column.series[series];
        const double value = values[series];
        if (!e.seen || value < e.min) {
            e.min = value;
            e.minTick = tick;
        }
        if (!e.seen || value > e.max) {
            e.max = value;
            e.maxTick = tick;
        }
        e.seen = true;
    }
    column.onGround = column.onGround || onGround;
    column.fading = column.fading || fading;
}

void writeCuePlot(std::ostream& out, const PlotRecorder& recorder, const std::string& title,
                  const PlotText& text) {
    PlotWriter(out, recorder, text).write(title);
}

}  // namespace tarvelmond::offline
