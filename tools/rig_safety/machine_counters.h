#pragma once
#include <cstdio>
#include <memory>
#include <optional>

namespace tarvelmond::rig_safety {

// What the Linux kernel below the process (natively, or below Wine) counts of the time the machine did
// not let runnable threads run: the time some runnable thread waited for a core (pressure stall
// information) and the time the virtual machine's cores were taken away by its host (steal). Both
// run on from an arbitrary origin; a system without them gives none.
class MachineCounters {
  public:
    MachineCounters();

    // Milliseconds in which at least one runnable thread of the system waited for a core.
    std::optional<double> coreWaitMs();
    // Milliseconds the virtual machine's cores were taken away, per core.
    std::optional<double> stealMs();

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, Closer>;

    // The file's text from its start (the kernel makes it anew on every read from the start).
    const char* readAgain(const File& file);

    File pressure_;
    File stat_;
    char text_[512] = {};
};

}  // namespace tarvelmond::rig_safety
