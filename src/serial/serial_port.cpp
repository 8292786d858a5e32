#include "serial/serial_port.h"

#include <algorithm>
#include <stdexcept>
#include "basics/frame_timer.h"

#include "serial/link_state.h"

namespace tarvelmond {
namespace {

constexpr std::uint32_t kControllerQueueBytes = 5120;
constexpr std::uint32_t kControllerTimeoutMs = 10000;

std::string comName(int number) {
    return "COM" + std::to_string(number);
}

}  // namespace

bool CSerialException::GetErrorMessage(wchar_t* buffer, unsigned size, unsigned* helpContext) const {
    if (buffer == nullptr || size == 0) throw std::invalid_argument("GetErrorMessage: no buffer");
    if (helpContext != nullptr) *helpContext = 0;
    std::wstring text;
    const bool found = platform::systemErrorText(m_dwError, text);
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.begin(), length, buffer);
    buffer[length] = L'\0';
    return found;
}

void raiseSerialException() {
    throw CSerialException(platform::lastSystemError());
}

CSerialPort2::~CSerialPort2() {
    close();
}

bool CSerialPort2::openDevice(const std::string& name, const platform::LineSettings& settings) {
    std::lock_guard lock(mutex_);
    device_.close();
    if (!device_.open(name)) return false;
    if (!device_.configure(settings)) {
        const std::uint32_t error = platform::lastSystemError();
        device_.close();
        platform::setLastSystemError(error);
        return false;
    }
    return true;
}

void CSerialPort2::close() {
    std::lock_guard lock(mutex_);
    device_.close();
}

bool CSerialPort2::isOpen() const {
    std::lock_guard lock(mutex_);
    return device_.isOpen();
}

void CSerialPort2::configureLink() {
    std::lock_guard lock(mutex_);
    // The lines' state is not used; a port without modem lines (a virtual one) is no failure.
    if (device_.modemStatus() == platform::ModemStatus::Failed) raiseSerialException();
    if (!device_.clearErrors(nullptr)) raiseSerialException();
    platform::PortStatus status;
    if (!device_.clearErrors(&status)) raiseSerialException();
    platform::Timeouts timeouts{};
    if (!device_.readTimeouts(timeouts)) raiseSerialException();
    timeouts.readConstant = kControllerTimeoutMs;
    timeouts.writeConstant = kControllerTimeoutMs;
    if (!device_.setTimeouts(timeouts)) raiseSerialException();
    if (!device_.setQueueSizes(kControllerQueueBytes, kControllerQueueBytes)) raiseSerialException();
}

void CSerialPort2::write(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    std::size_t written = 0;
    // The device fails a write that did not take every byte: a message cut short is not delivered.
    if (device_.write(bytes, count, written)) return;
    // Nor does its head wait in the port to reach the controller, before whatever comes next, as a
    // frame with a wrong CRC; and a port whose controller stopped reading closes without waiting for
    // the bytes to drain.
    const std::uint32_t error = platform::lastSystemError();
    device_.purgeOutput();
    platform::setLastSystemError(error);
    raiseSerialException();
}

std::size_t CSerialPort2::read(std::uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    std::size_t got = 0;
    if (!device_.read(bytes, count, got)) raiseSerialException();
    return got;
}

platform::PortStatus CSerialPort2::status() {
    std::lock_guard lock(mutex_);
    platform::PortStatus status;
    if (!device_.clearErrors(&status)) raiseSerialException();
    return status;
}

void CSerialPort2::purgeInput() {
    std::lock_guard lock(mutex_);
    if (!device_.purgeInput()) raiseSerialException();
}

int openPort(int number) {
    return serialPort().openDevice(comName(number), platform::LineSettings{}) ? 1 : 0;
}

int openAndConfigurePort(int number) {
    if (!platform::hasDefaultConfiguration(comName(number))) raiseSerialException();
    if (openPort(number) == 0) raiseSerialException();
    sleepFor(std::chrono::milliseconds(5));
    serialPort().configureLink();
    return 1;
}

int closePort() {
    link().portConnected.store(false);
    serialPort().close();
    return 1;
}

}  // namespace tarvelmond
