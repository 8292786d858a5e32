#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

#include "platform/serial_device.h"
#include "serial/controller_line.h"

namespace tarvelmond {

// A failing port call, with the system error code of that moment.
class CSerialException : public std::exception {
  public:
    explicit CSerialException(std::uint32_t error) : m_dwError(error) {}
    ~CSerialException() override = default;
    const char* what() const noexcept override { return "serial port failure"; }
    // The system's text for the code, truncated to `size` characters with its terminator; false and
    // an empty text when the system has none. A null buffer or size 0 is an invalid argument.
    virtual bool GetErrorMessage(wchar_t* buffer, unsigned size, unsigned* helpContext = nullptr) const;

    std::uint32_t m_dwError;
};

// Throws a CSerialException with the calling thread's last system error code.
[[noreturn]] void raiseSerialException();

// The controller's serial port, one per process. The bridge, the discovery (on the bridge or on the
// caller of resumeInterface) and pauseInterface all use it from their own threads, so every call takes
// the port's mutex: a close waits for a running read or write (bounded by the port's time-outs) and
// nothing ever uses a closed handle. The calls that fail raise CSerialException.
class CSerialPort2 final : public ControllerLine {
  public:
    CSerialPort2() = default;
    ~CSerialPort2() override;

    bool openDevice(const std::string& name, const platform::LineSettings& settings);  // 0/1, no throw
    void close() override;
    bool isOpen() const;

    void configureLink();  // steps 4 to 7 of the controller port's set-up
    void write(const std::uint8_t* bytes, std::size_t count) override;
    std::size_t read(std::uint8_t* bytes, std::size_t count) override;
    platform::PortStatus status() override;
    void purgeInput() override;
    // Without the port's mutex, from any thread: a write or read waiting for the device fails within
    // a few milliseconds, and so does every later wait until allowWaits.
    void abandonWaits() noexcept { device_.abandonWaits(); }
    void allowWaits() noexcept { device_.allowWaits(); }

  private:
    mutable std::mutex mutex_;
    platform::SerialDevice device_;
};

CSerialPort2& serialPort();

// The controller port by number: "COMn" opened at 250000 baud 8N1 without flow control.
int openPort(int number);
int openAndConfigurePort(int number);  // throws CSerialException at the first failing step
int closePort();                       // also clears portConnected

}  // namespace tarvelmond
