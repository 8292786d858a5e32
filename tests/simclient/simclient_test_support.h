#pragma once
// What the simulator client's tests share: a configuration file where the client looks for it, the
// registry ports under Wine, and opening a client the way detection does, pass after pass.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "fake_simulator.h"
#include "platform/child_process.h"
#include "platform/notification.h"
#include "platform/process_info.h"
#include "simclient/client_api.h"
#include "simclient/result_codes.h"
#include "support/eventually.h"

namespace tarvelmond::test {

using namespace std::chrono_literals;

// A folder of its own under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tarvelmond-simclient-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                 std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

// SimConnect.cfg with `text` in a temporary folder made the process's current directory, the last of
// the folders the client reads; the previous directory comes back afterwards.
class ConfigInCurrentDirectory {
  public:
    explicit ConfigInCurrentDirectory(const std::string& text) : previous_(std::filesystem::current_path()) {
        folder_.write("SimConnect.cfg", text);
        std::filesystem::current_path(folder_.path());
    }
    ~ConfigInCurrentDirectory() { std::filesystem::current_path(previous_); }
    ConfigInCurrentDirectory(const ConfigInCurrentDirectory&) = delete;
    ConfigInCurrentDirectory& operator=(const ConfigInCurrentDirectory&) = delete;

  private:
    TemporaryFolder folder_;
    std::filesystem::path previous_;
};

// Handles Wine opens and closes for itself at some system calls, which a count of the process's
// handles sees; a leak shows far beyond it. Natively every descriptor is counted exactly.
#if defined(_WIN32)
inline constexpr int kSystemHandlesOpenedLate = 1;
#else
inline constexpr int kSystemHandlesOpenedLate = 0;
#endif

// Whether the process's handles are back to `before`: exactly, natively (more is a leak, fewer a close
// of a descriptor that was not ours); under Wine, which also closes handles it opened for itself earlier
// whenever it likes, at most kSystemHandlesOpenedLate more.
inline bool handlesBackTo(int before) {
    const int now = platform::openResourceCount();
#if defined(_WIN32)
    return now - before <= kSystemHandlesOpenedLate;
#else
    return now == before;
#endif
}

inline std::string tcpConfig(const char* protocol, const std::string& address, unsigned port) {
    return std::string("[SimConnect]\nProtocol=") + protocol + "\nAddress=" + address +
           "\nPort=" + std::to_string(port) + "\n";
}

#if defined(_WIN32)
// The simulator's registry ports, set with Wine's own reg tool for as long as the object lives.
class RegistryPorts {
  public:
    RegistryPorts(const std::string& ipv4, const std::string& ipv6) {
        if (!ipv4.empty()) set("SimConnect_Port_IPv4", ipv4);
        if (!ipv6.empty()) set("SimConnect_Port_IPv6", ipv6);
    }
    ~RegistryPorts() { reg({"delete", kKey, "/f"}); }
    RegistryPorts(const RegistryPorts&) = delete;
    RegistryPorts& operator=(const RegistryPorts&) = delete;

  private:
    static constexpr const char* kKey = "HKCU\\SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
    void set(const std::string& name, const std::string& value) {
        reg({"add", kKey, "/v", name, "/t", "REG_SZ", "/d", value, "/f"});
    }
    static void reg(const std::vector<std::string>& arguments) {
        platform::ChildProcess tool;
        ASSERT_TRUE(tool.start("C:\\windows\\system32\\reg.exe", arguments));
        ASSERT_TRUE(eventually([&] { return !tool.running(); }, 20s));
    }
};
#endif

// Opens a client as detection does, one pass after another, until a connection is made: the handle,
// or null when none came within `limit`. `lastResult` gets the last call's code.
inline void* openClient(std::int32_t* lastResult = nullptr, std::uint32_t index = 0,
                        std::chrono::milliseconds limit = 10s, void* event = nullptr, void* window = nullptr,
                        std::uint32_t windowMessage = 0) {
    void* handle = nullptr;
    std::int32_t result = simclient::kFailed;
    eventually(
        [&] {
            result = simclient::clientOpen(&handle, "Tarvelmond", window, windowMessage, event, index);
            if (result != simclient::kSuccess) std::this_thread::sleep_for(10ms);
            return result == simclient::kSuccess;
        },
        limit);
    if (lastResult != nullptr) *lastResult = result;
    return handle;
}

// Waits for the next message: 0 and the message, or the code getNextDispatch ended with (the
// connection's failure, or kNoMessage when nothing came within `limit`).
inline std::int32_t nextMessage(void* handle, std::vector<std::uint8_t>& message,
                                std::chrono::milliseconds limit = 5s) {
    std::int32_t result = simclient::kNoMessage;
    eventually(
        [&] {
            const std::uint8_t* data = nullptr;
            std::uint32_t size = 0;
            result = simclient::getNextDispatch(handle, &data, &size);
            if (result == simclient::kSuccess) message.assign(data, data + size);
            return result != simclient::kNoMessage;
        },
        limit);
    return result;
}

inline std::uint32_t messageId(const std::vector<std::uint8_t>& message) {
    return message.size() < 12 ? 0 : message[8] | message[9] << 8 | message[10] << 16 | message[11] << 24;
}

// Each test leaves no client, attempt or thread behind for the next.
class SimClientTest : public ::testing::Test {
  protected:
    void TearDown() override {
        simclient::closeAllClients();
        EXPECT_FALSE(simclient::clientThreadRunning());
    }
};

}  // namespace tarvelmond::test
