// Reads the motion-cancel pose as a VR compensation layer does: opens "Local\motionRigPose" by name
// and takes six doubles from its start (sway, surge, heave, yaw, roll, pitch). Writes them, one per
// line, to the file named by its argument; exits 1 if the block does not exist.
#include <cstdio>
#include <cstring>

#include "platform/shared_memory.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    tarvelmond::platform::SharedMemory block;
    if (!block.openExisting("Local\\motionRigPose", 512, tarvelmond::platform::ViewAccess::ReadOnly))
        return 1;
    double pose[6];
    std::memcpy(pose, block.data(), sizeof pose);
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) return 3;
    for (double value : pose)
        std::fprintf(out, "%.17g\n", value);
    std::fclose(out);
    return 0;
}
