#pragma once
#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "replay.h"

namespace tarvelmond::offline {

// Keeps, per pixel column of the plot, the lowest and highest value of each plotted series, so a
// long replay costs a fixed amount of memory and no peak is lost to thinning.
class PlotRecorder {
  public:
    static constexpr std::size_t kSeries = 8;  // final cues 0 to 5, air weight, ground weight
    static constexpr std::size_t kColumns = 1080;

    struct Extremes {
        double min = 0.0;
        double max = 0.0;
        std::size_t minTick = 0;
        std::size_t maxTick = 0;
        bool seen = false;
    };
    struct Column {
        std::array<Extremes, kSeries> series{};
        bool onGround = false;
        bool fading = false;
    };

    explicit PlotRecorder(std::size_t totalTicks);
    void add(const TickView& tick);
    // One sample of the eight series at a 2 ms tick, from any source (the live rig's controller).
    void add(std::size_t tick, const std::array<double, kSeries>& values, bool onGround, bool fading);

    std::size_t totalTicks() const { return totalTicks_; }
    const std::vector<Column>& columns() const { return columns_; }

  private:
    std::size_t totalTicks_;
    std::vector<Column> columns_;
};

// The words of the picture that name what the curves are.
struct PlotText {
    std::string axisPanel = "final";  // before each axis panel's number and name
    std::string axisLegend = "final cue (one panel per axis)";
    std::string timeCaption = "time (s), 2 ms per telemetry row";
};

// An SVG picture of the final axis cues over time, one panel per axis, and the air/ground weights,
// with on-ground stretches and the output fade shaded.
void writeCuePlot(std::ostream& out, const PlotRecorder& recorder, const std::string& title,
                  const PlotText& text = {});

}  // namespace tarvelmond::offline
