#include "peers/far_end.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

bool exists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

struct FarEnd::Impl {
    HANDLE far = INVALID_HANDLE_VALUE;
    std::string farPath;   // Unix path of socat's far end
    std::string stopPath;  // created to end socat
    std::string deviceName;
    bool defined = false;
};

// socat runs as a Unix process beside Wine; a small shell watches for the stop file (or ten minutes)
// and then ends it, which removes both links.
FarEnd::FarEnd(int comNumber) : comNumber_(comNumber), impl_(std::make_unique<Impl>()) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) return;
    const std::string tag = "/tmp/tarvelmond-peer-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(comNumber);
    impl_->farPath = tag;
    impl_->stopPath = tag + ".stop";
    const std::string library = std::string(prefix) + "/dosdevices/com" + std::to_string(comNumber);
    std::string command = "/bin/sh -c \"rm -f " + impl_->stopPath + " " + library + "; socat pty,raw,echo=0,link=" +
                          library + " pty,raw,echo=0,link=" + tag +
                          " & p=$!; i=0; while [ ! -e " + impl_->stopPath +
                          " ] && [ $i -lt 6000 ]; do sleep 0.1; i=$((i+1)); done; kill $p; rm -f " +
                          impl_->stopPath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string farWindows = "Z:" + tag;
    for (int i = 0; i < 100 && !(exists(farWindows) && exists("Z:" + library)); ++i)
        std::this_thread::sleep_for(50ms);
    std::string unixPath = "\\\\?\\unix" + tag;
    for (char& c : unixPath)
        if (c == '/') c = '\\';
    impl_->far = CreateFileA(unixPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    impl_->deviceName = comName();
    const std::string target = "\\??\\com" + std::to_string(comNumber);
    impl_->defined = DefineDosDeviceA(DDD_RAW_TARGET_PATH, impl_->deviceName.c_str(), target.c_str()) != FALSE;
}

FarEnd::~FarEnd() {
    if (impl_->defined) DefineDosDeviceA(DDD_REMOVE_DEFINITION, impl_->deviceName.c_str(), nullptr);
    if (impl_->far != INVALID_HANDLE_VALUE) CloseHandle(impl_->far);
    if (!impl_->stopPath.empty()) {
        std::ofstream("Z:" + impl_->stopPath).put('x');
        for (int i = 0; i < 40 && exists("Z:" + impl_->farPath); ++i)
            std::this_thread::sleep_for(50ms);
    }
}

bool FarEnd::ready() const { return impl_->far != INVALID_HANDLE_VALUE && impl_->defined; }

std::size_t FarEnd::read(std::uint8_t* bytes, std::size_t max, std::chrono::milliseconds wait) {
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, static_cast<DWORD>(wait.count() > 0 ? wait.count() : 1), 0, 0};
    SetCommTimeouts(impl_->far, &timeouts);
    DWORD got = 0;
    if (!ReadFile(impl_->far, bytes, static_cast<DWORD>(max), &got, nullptr)) return 0;
    return got;
}

void FarEnd::write(const std::uint8_t* bytes, std::size_t count) {
    DWORD done = 0;
    WriteFile(impl_->far, bytes, static_cast<DWORD>(count), &done, nullptr);
}

int uniqueComNumber(int slot) {
    return 100 + static_cast<int>(GetCurrentProcessId() % 400) * 8 + slot;
}

}  // namespace tarvelmond::test
