#include "peers/far_end.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

bool exists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A pause of about 100 us between two looks at the port. Sleep(1) and the waitable timers wait in the
// wineserver, whose time-outs come in whole milliseconds: every frame would seem to arrive 1.1 ms late.
// The system's wait on an address times out within the process, to the microsecond under Wine; on
// Windows it lasts a timer tick.
void pauseBriefly() {
    using WaitOnAddressFine = LONG(NTAPI*)(const void*, const void*, SIZE_T, const LARGE_INTEGER*);
    static const auto wait = reinterpret_cast<WaitOnAddressFine>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlWaitOnAddress")));
    if (wait == nullptr) {
        Sleep(1);
        return;
    }
    const int never = 0;
    const int expected = 0;
    LARGE_INTEGER relative;
    relative.QuadPart = -1000;  // 100 us, in 100 ns units
    wait(&never, &expected, sizeof never, &relative);
}

}  // namespace

struct FarEnd::Impl {
    HANDLE device = INVALID_HANDLE_VALUE;
    std::string farPath;   // Unix path of socat's far end
    std::string stopPath;  // created to end socat
    std::string donePath;  // appears once socat has ended
    std::string deviceName;
    bool defined = false;
};

FarEnd::FarEnd(int comNumber) : comNumber_(comNumber), impl_(std::make_unique<Impl>()) {
    plugIn();
}

FarEnd::~FarEnd() {
    unplug();
}

// socat runs as a Unix process beside Wine; a small shell ends it when the stop file appears (or
// after ten minutes), waits for it, and then marks it done, so that a later pair for the same COM
// number never races the old socat removing its links.
void FarEnd::plugIn() {
    static std::atomic<int> instances{0};
    // Wine's process ids repeat across prefixes, and runs in other prefixes share /tmp.
    static const unsigned run = std::random_device{}();
    unplug();
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) return;
    const std::string tag = "/tmp/tarvelmond-peer-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(run) + "-" + std::to_string(instances.fetch_add(1)) + "-com" +
                            std::to_string(comNumber_);
    impl_->farPath = tag;
    impl_->stopPath = tag + ".stop";
    impl_->donePath = tag + ".done";
    const std::string library = std::string(prefix) + "/dosdevices/com" + std::to_string(comNumber_);
    std::string command =
        "/bin/sh -c \"rm -f " + library + "; socat pty,raw,echo=0,link=" + library +
        " pty,raw,echo=0,link=" + tag + " & p=$!; i=0; while [ ! -e " + impl_->stopPath +
        " ] && [ $i -lt 12000 ]; do sleep 0.05; i=$((i+1)); done; kill $p; wait $p; rm -f " +
        impl_->stopPath + " " + library + " " + tag + "; touch " + impl_->donePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // socat links both ends as soon as it has opened them; the far end opening is the sign.
    std::string unixPath = "\\\\?\\unix" + tag;
    for (char& c : unixPath)
        if (c == '/') c = '\\';
    for (int i = 0; i < 200 && impl_->device == INVALID_HANDLE_VALUE; ++i) {
        impl_->device = CreateFileA(unixPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr);
        if (impl_->device == INVALID_HANDLE_VALUE) std::this_thread::sleep_for(25ms);
    }
    if (impl_->device != INVALID_HANDLE_VALUE) {
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(impl_->device, &immediate);
    }
    std::this_thread::sleep_for(20ms);
    impl_->deviceName = comName();
    const std::string target = "\\??\\com" + std::to_string(comNumber_);
    // Definitions left by a test program that was killed stay in the Wine server; clear them first.
    for (int i = 0; i < 16 && DefineDosDeviceA(DDD_REMOVE_DEFINITION, impl_->deviceName.c_str(), nullptr);
         ++i) {
    }
    impl_->defined =
        DefineDosDeviceA(DDD_RAW_TARGET_PATH, impl_->deviceName.c_str(), target.c_str()) != FALSE;
}

// Ending socat closes the pseudo-terminal the library holds, which the kernel then hangs up.
void FarEnd::unplug() {
    if (impl_->defined) DefineDosDeviceA(DDD_REMOVE_DEFINITION, impl_->deviceName.c_str(), nullptr);
    impl_->defined = false;
    if (impl_->device != INVALID_HANDLE_VALUE) CloseHandle(impl_->device);
    impl_->device = INVALID_HANDLE_VALUE;
    if (!impl_->stopPath.empty()) {
        std::ofstream("Z:" + impl_->stopPath).put('x');
        for (int i = 0; i < 200 && !exists("Z:" + impl_->donePath); ++i)
            std::this_thread::sleep_for(25ms);
        DeleteFileA(("Z:" + impl_->donePath).c_str());
    }
    impl_->stopPath.clear();
}

bool FarEnd::fillTowardsFarEnd() {
    return false;
}

bool FarEnd::ready() const {
    return impl_->device != INVALID_HANDLE_VALUE && impl_->defined;
}

// Reads only what the driver reports waiting, so that a read never blocks (Wine waits out the whole
// total time-out of a "wait for the first byte" read even when bytes are there).
std::size_t FarEnd::read(std::uint8_t* bytes, std::size_t max, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(impl_->device, &errors, &status)) return 0;
        if (status.cbInQue > 0) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max, status.cbInQue));
            if (!ReadFile(impl_->device, bytes, want, &got, nullptr)) return 0;
            return got;
        }
        if (std::chrono::steady_clock::now() >= until) return 0;
        pauseBriefly();
    }
}

void FarEnd::write(const std::uint8_t* bytes, std::size_t count) {
    DWORD done = 0;
    WriteFile(impl_->device, bytes, static_cast<DWORD>(count), &done, nullptr);
}

// Wine 8 knows only COM1 to COM9 by name (QueryDosDevice and GetDefaultCommConfig answer for those
// only), and COM1 is the prefix's own: slot n is COM(n + 2). The programs that may run at the same
// time use slots of their own (serial tests 0-3, wind tests 4-5, the allocation test 7).
int uniqueComNumber(int slot) {
    return 2 + slot;
}

int missingComNumber() {
    return 250;
}

// The process's environment block, where the library looks (the C runtime's copy is not consulted).
void declarePortIdentity(int comNumber, const std::string& hardwareIds) {
    const std::string entry = "COM" + std::to_string(comNumber) + "=" + hardwareIds;
    SetEnvironmentVariableA("TARVELMOND_PORT_IDENTITY", entry.c_str());
}

std::uint32_t FarEnd::libraryLineRate() const {
    return 0;
}

}  // namespace tarvelmond::test
