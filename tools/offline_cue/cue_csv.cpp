#include "cue_csv.h"

#include <ostream>

#include "dof_names.h"
#include "number_text.h"

namespace tarvelmond::offline {
namespace {

void appendStage(std::string& line, const CueArray& stage) {
    for (double value : stage) {
        line += ',';
        appendNumber(line, value);
    }
}

}  // namespace

CueCsvWriter::CueCsvWriter(std::ostream& out) : out_(out) {
    std::string header = "tick,time_s,on_ground,air_weight,ground_weight,output_fade";
    for (const char* stage : {"final_", "air_", "ground_"}) {
        for (std::string_view name : kDofNames)
            header += "," + std::string(stage) + std::string(name);
    }
    out_ << header << '\n';
}

void CueCsvWriter::add(const TickView& tick) {
    const MotionEngine& engine = tick.engine;
    line_ = std::to_string(tick.index);
    line_ += ',';
    appendNumber(line_, tick.timeS);
    line_ += tick.onGround ? ",1," : ",0,";
    appendNumber(line_, engine.cues.airWeight.load());
    line_ += ',';
    appendNumber(line_, engine.cues.groundWeight.load());
    line_ += ',';
    appendNumber(line_, engine.fade.progress.load());
    appendStage(line_, engine.cues.finalCues);
    appendStage(line_, engine.cues.airStage);
    appendStage(line_, engine.cues.groundStage);
    line_ += '\n';
    out_ << line_;
}

}  // namespace tarvelmond::offline
