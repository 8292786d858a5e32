#pragma once
#include <iosfwd>

#include "command_line.h"

namespace tarvelmond::offline {

// The whole tool for one command line: reads or writes the inputs, replays, writes cues.csv and
// cues.svg into the output directory and the summary to `out`; messages go to `err`. Returns the
// exit code.
int runOfflineCue(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tarvelmond::offline
