#include "platform/process_info.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tarvelmond::platform {

std::string executablePath() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

int openResourceCount() {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("/dev/shm/") != std::string::npos) ++count;
    }
    return count;
}

bool otherThreadsEndedByExit() {
    return false;  // exit() runs the destructors while every other thread still runs
}

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

namespace {

// A "Name:   value" line of /proc/self/status, as a number; 0 if absent.
std::int64_t statusValue(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, name.size() + 1, name + ":") == 0)
            return std::stoll(line.substr(name.size() + 1));
    }
    return 0;
}

}  // namespace

int threadCount() {
    return static_cast<int>(statusValue("Threads"));
}

std::int64_t residentBytes() {
    return statusValue("VmRSS") * 1024;  // reported in kB
}

std::int64_t threadCpuMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

ThreadCpuClock::ThreadCpuClock() : clock_(-1) {
    clockid_t id{};
    if (pthread_getcpuclockid(pthread_self(), &id) == 0) clock_ = static_cast<std::intptr_t>(id);
}

ThreadCpuClock::~ThreadCpuClock() = default;

std::int64_t ThreadCpuClock::microseconds() const {
    timespec t{};
    if (clock_ == -1 || clock_gettime(static_cast<clockid_t>(clock_), &t) != 0) return -1;
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

}  // namespace tarvelmond::platform
