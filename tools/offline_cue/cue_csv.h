#pragma once
#include <iosfwd>
#include <string>

#include "replay.h"

namespace tarvelmond::offline {

// Writes the cues of every replayed tick as CSV: tick, time_s, on_ground, air_weight, ground_weight,
// output_fade, then final_<dof>, air_<dof> and ground_<dof> for the 23 DOF channels. Values are
// exact (shortest text that reads back as the same double).
class CueCsvWriter {
  public:
    explicit CueCsvWriter(std::ostream& out);
    void add(const TickView& tick);

  private:
    std::ostream& out_;
    std::string line_;
};

}  // namespace tarvelmond::offline
