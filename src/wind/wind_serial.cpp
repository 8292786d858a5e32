#include <tarvelmond.h>

#include <cctype>
#include <system_error>

#include "engine/frame_timer.h"
#include "platform/serial_device.h"

namespace {

constexpr std::uint8_t kZero = 0x00;
constexpr int kMaxStartAttempts = 3;

}  // namespace

struct WindSerial::Port : tarvelmond::platform::SerialDevice {};

WindSerial::WindSerial() : port_(std::make_unique<Port>()) {
    buffer_.reserve(16);  // updateBuffer then copies without allocating
}

WindSerial::~WindSerial() {
    stop();
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
    if (!port_->configureFraming(settings)) return false;
    port_->setTimeouts({50, 10, 50, 10, 50});  // a device that stops reading cannot hold a write long
    return true;
}

// Called with portMutex_ held. A stop in progress (cancelStart_) keeps new starts out until it is done.
bool WindSerial::mayStart() const {
    return initialised_.load() && !running_.load() && !starting_.load() && !cancelStart_ &&
           startAttempts_ < kMaxStartAttempts;
}

// Called with portMutex_ held.
bool WindSerial::openAndPrime() {
    std::size_t written = 0;
    if (port_->open(portName_) && configurePort(baudRate_, mode_) && port_->write(&kZero, 1, written) &&
        written == 1) {
        return true;
    }
    port_->close();
    running_.exchange(false);
    ++startAttempts_;
    return false;
}

void WindSerial::start() {
    std::lock_guard lock(portMutex_);
    if (!mayStart()) return;
    if (sendingThread_.joinable()) sendingThread_.join();  // a background start that failed
    if (!openAndPrime()) return;
    paused_.exchange(false);
    running_.exchange(true);
    try {
        sendingThread_ = std::thread(&WindSerial::sendingThreadFunc, this);
    } catch (const std::system_error&) {
        running_.exchange(false);
        port_->close();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
}

void WindSerial::startInBackground() {
    std::lock_guard lock(portMutex_);
    if (!mayStart()) return;
    if (sendingThread_.joinable()) sendingThread_.join();  // a background start that failed, ended
    starting_.exchange(true);
    try {
        // The thread's first step waits for this lock, so it starts once the object is consistent.
        sendingThread_ = std::thread([this] {
            {
                std::lock_guard lock(portMutex_);
                const bool primed = !cancelStart_ && openAndPrime();
                if (primed) {
                    paused_.exchange(false);
                    running_.exchange(true);
                }
                starting_.exchange(false);
                if (!primed) return;
            }
            sendingThreadFunc();
        });
    } catch (const std::system_error&) {
        starting_.exchange(false);
        ++startAttempts_;
    }
}

void WindSerial::pause() {
    {
        std::lock_guard lock(portMutex_);
        std::size_t written = 0;
        if (port_->isOpen()) port_->write(&kZero, 1, written);
    }
    paused_.exchange(true);
}

void WindSerial::unpause() {
    paused_.exchange(false);
}

void WindSerial::stop() {
    {
        std::lock_guard lock(portMutex_);
        std::size_t written = 0;
        if (port_->isOpen()) port_->write(&kZero, 1, written);
        running_.exchange(false);
        startAttempts_ = 0;
        cancelStart_ = true;  // a background start still opening gives up
    }
    if (sendingThread_.joinable()) {
        if (sendingThread_.get_id() == std::this_thread::get_id()) {
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        }
        sendingThread_.join();
    }
    std::lock_guard lock(portMutex_);
    port_->close();
    cancelStart_ = false;
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

void WindSerial::sendingThreadFunc() {
    if (!running_.load()) return;
    do {
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
            std::lock_guard lock(portMutex_);
            std::size_t written = 0;
            port_->write(&value, 1, written);  // a lost value byte is followed by the next one
        }
        if (const unsigned interval = interval_.load(); interval > 0) {
            tarvelmond::sleepFor(std::chrono::milliseconds(interval));
        }
    } while (running_.load());
}
