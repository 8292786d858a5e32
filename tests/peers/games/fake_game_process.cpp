#include "fake_game_process.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/process_info.h"
#include "platform/processes.h"

namespace tarvelmond::emulator {
namespace {

namespace fs = std::filesystem;

fs::path programBesideSelf(const std::string& program) {
    const fs::path self = platform::executablePath();
    return self.parent_path() / (program + self.extension().string());
}

std::string privateFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return (fs::temp_directory_path() /
            ("tarvelmond-game-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1))))
        .string();
}

}  // namespace

FakeGameProcess::FakeGameProcess(const std::string& executableName)
    : FakeGameProcess(executableName, "fake_game", {}) {}

FakeGameProcess::FakeGameProcess(const std::string& executableName, const std::string& program,
                                 const std::vector<std::string>& arguments)
    : folder_(privateFolder()) {
    std::error_code error;
    fs::create_directories(folder_, error);
    const fs::path copy = fs::path(folder_) / executableName;
    fs::copy_file(programBesideSelf(program), copy, fs::copy_options::overwrite_existing, error);
    if (error || !process_.start(copy.string(), arguments)) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (platform::isProcessRunning(executableName)) {
            started_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FakeGameProcess::~FakeGameProcess() {
    process_.terminate();
    std::error_code error;
    fs::remove_all(folder_, error);
}

}  // namespace tarvelmond::emulator
