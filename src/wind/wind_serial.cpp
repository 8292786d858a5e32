// The wind device's driver. One wind thread per run ("session") owns the device: it opens and primes
// it, sends the latest value every interval, writes the zeros of pauses and of the stop, and closes it.
// The callers (the real-time thread among them) only hand it requests, so that a slow, stalled or
// absent device, or a long interval, never holds them.
#include <tarvelmond.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <utility>

#include "platform/serial_device.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kZero = 0x00;
constexpr int kMaxStartAttempts = 3;
// With an interval of 0 a value goes as soon as it is there; an empty buffer is looked at again after this.
constexpr auto kIdleLook = std::chrono::milliseconds(1);

}  // namespace

// What the wind thread shares with the callers besides the class's own members. The life-cycle parts
// (launch, `changed`) are used with portMutex_ held; the requests have a mutex of their own that is
// only ever held to set or test them, never while the device is used.
struct WindSerial::Port {
    tarvelmond::platform::SerialDevice device;  // the wind thread's only

    std::mutex requestMutex;
    std::condition_variable requested;
    bool stopRequested = false;  // guarded by requestMutex
    bool zeroRequested = false;  // guarded by requestMutex

    std::condition_variable changed;  // with portMutex_: a session's open ended, or the session ended

    // Starts a session; portMutex_ held and no session active. Throws what std::thread throws.
    void launch(WindSerial& wind) {
        if (wind.sendingThread_.joinable()) wind.sendingThread_.join();  // an ended session: at once
        {
            std::lock_guard lock(requestMutex);
            stopRequested = false;
            zeroRequested = false;  // the priming zero comes anyway
        }
        wind.sessionActive_ = true;
        wind.starting_.exchange(true);
        try {
            wind.sendingThread_ = std::thread(&WindSerial::sendingThreadFunc, &wind);
        } catch (...) {
            wind.sessionActive_ = false;
            wind.starting_.exchange(false);
            throw;
        }
    }

    void request(bool Port::*what) {
        {
            std::lock_guard lock(requestMutex);
            this->*what = true;
        }
        requested.notify_all();
    }

    bool stopping() {
        std::lock_guard lock(requestMutex);
        return stopRequested;
    }

    void writeZero() {
        std::size_t written = 0;
        device.write(&kZero, 1, written);  // a lost zero is followed by the next byte
    }
};

WindSerial::WindSerial() : port_(std::make_unique<Port>()) {
    buffer_.reserve(16);  // updateBuffer then copies without allocating
}

WindSerial::~WindSerial() {
    stop();
    if (sendingThread_.joinable()) sendingThread_.join();
}

bool WindSerial::init(const std::string& port, int baudRate, const std::string& mode,
                      unsigned int intervalMs) {
    interval_.store(intervalMs);
    if (!tarvelmond::platform::isKnownDeviceName(port)) {
        initialised_.exchange(false);
        return false;
    }
    std::lock_guard lock(portMutex_);
    portName_ = port;
    baudRate_ = baudRate;
    mode_ = mode;
    startAttempts_ = 0;
    initialised_.exchange(true);
    return true;
}

bool WindSerial::configurePort(int baudRate, const std::string& mode) {
    namespace platform = tarvelmond::platform;
    platform::LineSettings settings;
    settings.baudRate = static_cast<std::uint32_t>(baudRate);
    if (mode.size() != 3) return false;
    settings.dataBits = static_cast<std::uint8_t>(mode[0] - '0');
    switch (std::toupper(static_cast<unsigned char>(mode[1]))) {
        case 'E':
            settings.parity = platform::Parity::Even;
            break;
        case 'N':
            settings.parity = platform::Parity::None;
            break;
        case 'O':
            settings.parity = platform::Parity::Odd;
            break;
        default:
            return false;
    }
    if (mode[2] != '1' && mode[2] != '2') return false;
    settings.stopBits = mode[2] == '2' ? platform::StopBits::Two : platform::StopBits::One;
    platform::SerialDevice& device = port_->device;
    if (!device.configureFraming(settings)) return false;
    device.setTimeouts({50, 10, 50, 10, 50});  // a device that stops reading cannot hold a write long
    return true;
}

// Called with portMutex_ held. A session still running (or closing after a stop) keeps new ones out.
bool WindSerial::mayStart() const {
    return initialised_.load() && !running_.load() && !starting_.load() && !sessionActive_ &&
           startAttempts_ < kMaxStartAttempts;
}

// On the wind thread: open, configure, write 0x00; the port stays open only on success.
bool WindSerial::openAndPrime() {
    std::string name;
    std::string mode;
    int baudRate = 0;
    {
        std::lock_guard lock(portMutex_);
        name = portName_;
        mode = mode_;
        baudRate = baudRate_;
    }
    tarvelmond::platform::SerialDevice& device = port_->device;
    std::size_t written = 0;
    if (device.open(name) && configurePort(baudRate, mode) && device.write(&kZero, 1, written)) return true;
    device.close();
    return false;
}

void WindSerial::start() {
    std::unique_lock lock(portMutex_);
    // A run that is ending (stopped while it opens or sends, or failed to open) ends first; one that
    // is opening or sending and not stopped is this start's run.
    const auto goingOn = [&] { return (running_.load() || starting_.load()) && !port_->stopping(); };
    port_->changed.wait(lock, [&] { return !sessionActive_ || goingOn(); });
    if (!sessionActive_) {
        if (!mayStart()) return;
        try {
            port_->launch(*this);
        } catch (const std::system_error&) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
    }
    // The open's outcome, so that isRunning tells it once start returns.
    port_->changed.wait(lock, [&] { return !starting_.load(); });
}

void WindSerial::startInBackground() {
    std::unique_lock lock(portMutex_, std::try_to_lock);
    if (!lock.owns_lock() || !mayStart()) return;  // busy or not yet: a later call tries again
    try {
        port_->launch(*this);
    } catch (const std::system_error&) {
        ++startAttempts_;
    }
}

void WindSerial::pause() {
    paused_.exchange(true);
    port_->request(&Port::zeroRequested);
}

void WindSerial::unpause() {
    paused_.exchange(false);
}

void WindSerial::stop() {
    std::lock_guard lock(portMutex_);
    running_.exchange(false);
    startAttempts_ = 0;
    if (sessionActive_) port_->request(&Port::stopRequested);
}

bool WindSerial::isRunning() const {
    return running_.load();
}

bool WindSerial::isInit() const {
    return initialised_.load();
}

void WindSerial::updateBuffer(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(bufferMutex_);
    if (&bytes != &buffer_) buffer_ = bytes;
}

// The wind thread: one session from the open to the close.
void WindSerial::sendingThreadFunc() {
    Port& port = *port_;
    const bool primed = openAndPrime();
    bool sending = false;
    {
        std::lock_guard lock(portMutex_);
        starting_.exchange(false);
        const bool stopped = port.stopping();
        if (primed && !stopped) {
            paused_.exchange(false);
            running_.exchange(true);
            sending = true;
        } else if (!primed && !stopped) {
            ++startAttempts_;
        }
    }
    port.changed.notify_all();

    for (auto next = Clock::now(); sending;) {
        bool zero = false;
        {
            std::unique_lock lock(port.requestMutex);
            port.requested.wait_until(lock, next, [&] { return port.stopRequested || port.zeroRequested; });
            sending = !port.stopRequested;
            zero = std::exchange(port.zeroRequested, false);
        }
        if (zero) port.writeZero();  // a pause's zero; the values keep their own pace
        if (!sending || zero) continue;
        bool have = false;
        std::uint8_t value = 0;
        {
            std::lock_guard lock(bufferMutex_);
            if (!buffer_.empty()) {
                value = buffer_.front();
                buffer_.erase(buffer_.begin());
                have = true;
            }
        }
        if (have && !paused_.load()) {
            std::size_t written = 0;
            port.device.write(&value, 1, written);  // a lost value byte is followed by the next one
        }
        const auto interval = std::chrono::milliseconds(interval_.load());
        next = Clock::now() + (interval.count() == 0 && !have ? kIdleLook : interval);
    }

    if (primed) port.writeZero();  // the stop's zero
    port.device.close();
    {
        std::lock_guard lock(portMutex_);
        sessionActive_ = false;
    }
    port.changed.notify_all();
}
