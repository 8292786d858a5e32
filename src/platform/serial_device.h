#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One open serial device, Windows COM semantics on both platforms: opened exclusively, synchronous
// reads and writes bounded by time-outs, a status query that reports the bytes waiting in each
// direction. Every failing call leaves the system error code as the thread's last error
// (lastSystemError), which is what the serial exceptions carry.
//
// COM names on Linux. "COMn" resolves to a device path as follows:
//   - if the environment variable TARVELMOND_SERIAL_DIR names a directory, COMn is the entry "comn"
//     (lower case, like Wine's dosdevices links) in that directory, and only those entries exist as
//     ports; tests point such links at pseudo-terminals;
//   - otherwise the numbering Wine gives Linux serial devices: COM1-COM32 are /dev/ttyS0-/dev/ttyS31,
//     COM33-COM64 are /dev/ttyUSB0-/dev/ttyUSB31, COM65-COM96 are /dev/ttyACM0-/dev/ttyACM31.
// A name that starts with '/' is taken as a device path as it is. On Windows "COMn" opens "\\.\COMn".
namespace tarvelmond::platform {

enum class Parity : std::uint8_t { None, Odd, Even };
enum class StopBits : std::uint8_t { One, Two };

struct LineSettings {
    std::uint32_t baudRate = 250000;
    std::uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
};

// Windows COMMTIMEOUTS, in milliseconds; a read waits at most multiplier x count + constant.
struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readMultiplier = 0;
    std::uint32_t readConstant = 0;
    std::uint32_t writeMultiplier = 0;
    std::uint32_t writeConstant = 0;
};

struct PortStatus {
    std::size_t bytesToRead = 0;   // waiting in the driver's input queue
    std::size_t bytesToWrite = 0;  // written but not yet sent, as far as the driver knows
};

enum class ModemStatus { Read, NotSupported, Failed };

class SerialDevice {
  public:
    SerialDevice() = default;
    ~SerialDevice() { close(); }
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    bool open(const std::string& name);  // "COMn" or a path; read/write, exclusive, existing device
    void close();
    bool isOpen() const;

    // Line rate and framing; flow control by CTS, DSR and XON/XOFF switched off, DTR and RTS left
    // as they were. Rates that are not standard termios rates are set the Linux way (BOTHER).
    bool configure(const LineSettings& settings);
    // The same, but data bits, parity and stop bits as given; flow control left as it is.
    bool configureFraming(const LineSettings& settings);
    bool readTimeouts(Timeouts& timeouts);
    bool setTimeouts(const Timeouts& timeouts);
    bool setQueueSizes(std::uint32_t input, std::uint32_t output);
    ModemStatus modemStatus();
    bool clearErrors(PortStatus* status);  // clears the error state; fills status when given
    bool purgeInput();
    bool purgeOutput();  // drops what was written but not yet sent

    // Writes all bytes; true only when all of them went. A write time-out that passes first is a
    // failure (a time-out error), and `written` tells how many bytes went before it.
    bool write(const std::uint8_t* bytes, std::size_t count, std::size_t& written);
    // Reads up to `count` bytes, waiting as the read time-outs say; fewer bytes is not a failure, a
    // device that has gone away (hung up) is.
    bool read(std::uint8_t* bytes, std::size_t count, std::size_t& got);

    // From any thread: a write or read that waits for the device gives up within a few milliseconds
    // (a failure, "operation aborted"), and so does every later one until waits are allowed again.
    // A stop must not wait out the write time-out of a controller that has stopped reading.
    void abandonWaits() noexcept { waitsAbandoned_.store(true); }
    void allowWaits() noexcept { waitsAbandoned_.store(false); }

  private:
    // The longest a wait runs before it looks at waitsAbandoned_ again.
    static constexpr std::uint32_t kWaitSliceMs = 10;

    std::intptr_t handle_ = -1;  // HANDLE on Windows, file descriptor elsewhere
    Timeouts timeouts_{};        // as asked; the write time-out is enforced in slices of kWaitSliceMs
    std::atomic<bool> waitsAbandoned_{false};
};

// Whether the system knows "COMn" (or the name) as a serial device: the DOS device name table on
// Windows, the COM mapping above elsewhere.
bool isKnownDeviceName(const std::string& name);
// Whether the port's default configuration can be read (GetDefaultCommConfig on Windows).
bool hasDefaultConfiguration(const std::string& name);

std::uint32_t lastSystemError();
void setLastSystemError(std::uint32_t code);
// The system's text for an error code; false (and empty text) when the system has none.
bool systemErrorText(std::uint32_t code, std::wstring& text);

}  // namespace tarvelmond::platform
