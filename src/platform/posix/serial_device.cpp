#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <optional>

#include "platform/posix/com_names.h"
#include "platform/posix/serial_baud.h"

namespace tarvelmond::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kNoWait = std::numeric_limits<std::uint32_t>::max();

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

bool failWith(int error) {
    errno = error;
    return false;
}

speed_t standardSpeed(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

bool applyFraming(termios& settings, const LineSettings& line) {
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    switch (line.dataBits) {
        case 5:
            settings.c_cflag |= CS5;
            break;
        case 6:
            settings.c_cflag |= CS6;
            break;
        case 7:
            settings.c_cflag |= CS7;
            break;
        case 8:
            settings.c_cflag |= CS8;
            break;
        default:
            return failWith(EINVAL);
    }
    if (line.parity == Parity::Even) settings.c_cflag |= PARENB;
    if (line.parity == Parity::Odd) settings.c_cflag |= PARENB | PARODD;
    if (line.stopBits == StopBits::Two) settings.c_cflag |= CSTOPB;
    return true;
}

// Writes the settings and then the rate; a standard rate goes with the settings in one call.
bool writeSettings(int fd, termios& settings, std::uint32_t baud) {
    const speed_t speed = standardSpeed(baud);
    if (speed != B0) {
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
    return speed != B0 || setArbitraryLineRate(fd, baud);
}

enum class Wait { Ready, TimedOut, HungUp, Failed, Abandoned };

// Waits until fd is ready for `events` or the deadline passes, looking every `sliceMs` whether the
// wait was abandoned. A device that has gone away (a USB adapter unplugged, the far end of a
// pseudo-terminal closed) reports a hang-up or an error for ever: that is a failed port, not a ready one.
Wait waitReady(int fd, short events, std::optional<Clock::time_point> deadline,
               const std::atomic<bool>& abandoned, int sliceMs) {
    for (;;) {
        if (abandoned.load()) {
            errno = ECANCELED;
            return Wait::Abandoned;
        }
        int waitMs = sliceMs;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return Wait::TimedOut;
            waitMs = static_cast<int>(std::min<long long>(left, sliceMs));
        }
        pollfd entry{fd, events, 0};
        const int result = poll(&entry, 1, waitMs);
        if (result < 0 && errno == EINTR) continue;
        if (result < 0) return Wait::Failed;
        if (result == 0) continue;
        if ((entry.revents & POLLNVAL) != 0) {
            errno = EBADF;
            return Wait::Failed;
        }
        if ((entry.revents & (POLLHUP | POLLERR)) != 0) {
            errno = EIO;
            return Wait::HungUp;
        }
        return Wait::Ready;
    }
}

bool passed(std::optional<Clock::time_point> deadline) {
    return deadline && Clock::now() >= *deadline;
}

std::optional<Clock::time_point> deadlineAfter(std::uint64_t milliseconds) {
    if (milliseconds == 0) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace

bool SerialDevice::open(const std::string& name) {
    close();
    const auto path = comDevicePath(name);
    if (!path) return false;
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Windows opens COM devices without sharing; a second opener (in this process or another that
    // does the same) is refused as a busy device.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = isatty(fd) ? EBUSY : ENOTTY;
        ::close(fd);
        errno = error;
        return false;
    }
    ioctl(fd, TIOCEXCL);
    termios settings{};
    if (tcgetattr(fd, &settings) == 0) {
        // A COM device delivers bytes as they come: no line discipline, no echo, no translation.
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &settings);
    }
    handle_ = fd;
    timeouts_ = Timeouts{};
    return true;
}

void SerialDevice::close() {
    if (handle_ >= 0) {
        ioctl(fdOf(handle_), TIOCNXCL);  // the device may outlive this open (a pseudo-terminal does)
        ::close(fdOf(handle_));
    }
    handle_ = -1;
}

bool SerialDevice::isOpen() const {
    return handle_ >= 0;
}

bool SerialDevice::configure(const LineSettings& line) {
    termios settings{};
    if (!isOpen()) return failWith(EBADF);
    if (tcgetattr(fdOf(handle_), &settings) != 0) return false;
    if (!applyFraming(settings, line)) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    return writeSettings(fdOf(handle_), settings, line.baudRate);
}

bool SerialDevice::configureFraming(const LineSettings& line) {
    termios settings{};
    if (!isOpen()) return failWith(EBADF);
    if (tcgetattr(fdOf(handle_), &settings) != 0) return false;
    if (!applyFraming(settings, line)) return false;
    return writeSettings(fdOf(handle_), settings, line.baudRate);
}

bool SerialDevice::readTimeouts(Timeouts& timeouts) {
    if (!isOpen()) return failWith(EBADF);
    timeouts = timeouts_;
    return true;
}

bool SerialDevice::setTimeouts(const Timeouts& timeouts) {
    if (!isOpen()) return failWith(EBADF);
    timeouts_ = timeouts;
    return true;
}

bool SerialDevice::setQueueSizes(std::uint32_t, std::uint32_t) {
    // The Linux tty layer sizes its own buffers.
    if (!isOpen()) return failWith(EBADF);
    return true;
}

ModemStatus SerialDevice::modemStatus() {
    int lines = 0;
    if (!isOpen()) {
        errno = EBADF;
        return ModemStatus::Failed;
    }
    if (ioctl(fdOf(handle_), TIOCMGET, &lines) == 0) return ModemStatus::Read;
    // Pseudo-terminals and some virtual ports have no modem lines.
    return errno == ENOTTY || errno == EINVAL ? ModemStatus::NotSupported : ModemStatus::Failed;
}

bool SerialDevice::clearErrors(PortStatus* status) {
    if (!isOpen()) return failWith(EBADF);
    int waitingIn = 0;
    int waitingOut = 0;
    if (ioctl(fdOf(handle_), FIONREAD, &waitingIn) != 0) return false;
    if (ioctl(fdOf(handle_), TIOCOUTQ, &waitingOut) != 0) waitingOut = 0;
    if (status != nullptr) {
        status->bytesToRead = static_cast<std::size_t>(waitingIn);
        status->bytesToWrite = static_cast<std::size_t>(waitingOut);
    }
    return true;
}

bool SerialDevice::purgeInput() {
    if (!isOpen()) return failWith(EBADF);
    return tcflush(fdOf(handle_), TCIFLUSH) == 0;
}

bool SerialDevice::purgeOutput() {
    if (!isOpen()) return failWith(EBADF);
    return tcflush(fdOf(handle_), TCOFLUSH) == 0;
}

bool SerialDevice::write(const std::uint8_t* bytes, std::size_t count, std::size_t& written) {
    written = 0;
    if (!isOpen()) return failWith(EBADF);
    const auto deadline = deadlineAfter(static_cast<std::uint64_t>(timeouts_.writeMultiplier) * count +
                                        timeouts_.writeConstant);
    const int fd = fdOf(handle_);
    while (written < count) {
        const ssize_t n = ::write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        // Part of a message on the wire is not the message: running out of time is a failure.
        if (passed(deadline)) return failWith(ETIMEDOUT);
        switch (waitReady(fd, POLLOUT, deadline, waitsAbandoned_, kWaitSliceMs)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return failWith(ETIMEDOUT);
            case Wait::HungUp:
            case Wait::Failed:
            case Wait::Abandoned:
                return false;
        }
    }
    return true;
}

bool SerialDevice::read(std::uint8_t* bytes, std::size_t count, std::size_t& got) {
    got = 0;
    if (!isOpen()) return failWith(EBADF);
    const int fd = fdOf(handle_);
    const bool immediate =
        timeouts_.readInterval == kNoWait && timeouts_.readMultiplier == 0 && timeouts_.readConstant == 0;
    const auto deadline =
        deadlineAfter(static_cast<std::uint64_t>(timeouts_.readMultiplier) * count + timeouts_.readConstant);
    // With VMIN and VTIME at 0 a read finds nothing and returns 0 at once; after poll has reported data,
    // a read of 0 bytes is the end of the device.
    bool reportedReady = false;
    while (got < count) {
        const ssize_t n = ::read(fd, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            reportedReady = false;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (n == 0 && reportedReady) return failWith(EIO);
        if (immediate || passed(deadline)) return true;
        auto wait = deadline;
        if (got > 0 && timeouts_.readInterval != 0 && timeouts_.readInterval != kNoWait) {
            const auto interval = Clock::now() + std::chrono::milliseconds(timeouts_.readInterval);
            if (!wait || interval < *wait) wait = interval;
        }
        switch (waitReady(fd, POLLIN, wait, waitsAbandoned_, kWaitSliceMs)) {
            case Wait::Ready:
                reportedReady = true;
                break;
            case Wait::TimedOut:
                return true;  // fewer bytes than asked is no failure, as Windows reports it
            case Wait::HungUp:
            case Wait::Failed:
            case Wait::Abandoned:
                return false;
        }
    }
    return true;
}

bool isKnownDeviceName(const std::string& name) {
    const auto path = comDevicePath(name);
    struct stat info {};
    return path && stat(path->c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool hasDefaultConfiguration(const std::string& name) {
    return isKnownDeviceName(name) || failWith(ENOENT);
}

}  // namespace tarvelmond::platform
