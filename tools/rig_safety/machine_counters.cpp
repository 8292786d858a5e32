#include "machine_counters.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tarvelmond::rig_safety {
namespace {

// Where the kernel's files are: under Wine the Linux root is drive Z:; on Windows itself there are none.
std::optional<std::string> procRoot() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return std::nullopt;
    return std::string("Z:/proc/");
#else
    return std::string("/proc/");
#endif
}

constexpr double kMsPerTick = 10.0;  // /proc/stat counts in USER_HZ, 100 a second on every Linux

}  // namespace

MachineCounters::MachineCounters() {
    const std::optional<std::string> root = procRoot();
    if (!root) return;
    pressure_.reset(std::fopen((*root + "pressure/cpu").c_str(), "rb"));
    stat_.reset(std::fopen((*root + "stat").c_str(), "rb"));
}

const char* MachineCounters::readAgain(const File& file) {
    if (!file) return nullptr;
    std::rewind(file.get());
    const std::size_t got = std::fread(text_, 1, sizeof text_ - 1, file.get());
    text_[got] = '\0';
    return got > 0 ? text_ : nullptr;
}

std::optional<double> MachineCounters::coreWaitMs() {
    // "some avg10=0.00 avg60=0.00 avg300=0.00 total=<microseconds>"
    const char* text = readAgain(pressure_);
    const char* total = text != nullptr ? std::strstr(text, "total=") : nullptr;
    std::uint64_t us = 0;
    if (total == nullptr || std::sscanf(total, "total=%" SCNu64, &us) != 1) return std::nullopt;
    return static_cast<double>(us) / 1000.0;
}

std::optional<double> MachineCounters::stealMs() {
    // "cpu  user nice system idle iowait irq softirq steal ...", summed over the cores
    const char* text = readAgain(stat_);
    std::uint64_t skipped[7] = {};
    std::uint64_t steal = 0;
    if (text == nullptr || std::sscanf(text,
                                       "cpu %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64
                                       " %" SCNu64 " %" SCNu64 " %" SCNu64,
                                       &skipped[0], &skipped[1], &skipped[2], &skipped[3], &skipped[4],
                                       &skipped[5], &skipped[6], &steal) != 8) {
        return std::nullopt;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<double>(steal) * kMsPerTick / cores;
}

}  // namespace tarvelmond::rig_safety
