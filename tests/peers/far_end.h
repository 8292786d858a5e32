#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A pseudo-terminal pair standing in for a serial device: the library opens one end as "COMn", the
// test plays the device on the other (the far end).
//
// Natively the pair comes from openpty, and the library end is linked as comN in a directory of this
// process that TARVELMOND_SERIAL_DIR names (the COM mapping of src/platform/serial_device.h). Under
// Wine, socat makes the pair: one end is linked as $WINEPREFIX/dosdevices/comN, the far end is opened
// through Wine's Unix namespace, and the name is registered as a DOS device so that the system's
// device list shows it, as it shows a real port.
namespace tarvelmond::test {

class FarEnd {
  public:
    explicit FarEnd(int comNumber);
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    bool ready() const;
    int comNumber() const { return comNumber_; }
    std::string comName() const { return "COM" + std::to_string(comNumber_); }

    // Up to `max` bytes, waiting at most `wait` for the first; 0 when nothing came.
    std::size_t read(std::uint8_t* bytes, std::size_t max, std::chrono::milliseconds wait);
    void write(const std::uint8_t* bytes, std::size_t count);

    // Fills the buffer that carries the library's bytes to this end, as a device that has stopped
    // reading leaves it, so that the library's next writes wait for their time-out. Returns the bytes
    // put there; 0 where the buffer cannot be reached (under Wine socat relays it).
    std::size_t fillTowardsDevice();

    // The output rate the library set on its end; 0 where it cannot be seen (under Wine).
    std::uint32_t libraryLineRate() const;

    struct Impl;

  private:
    int comNumber_;
    std::unique_ptr<Impl> impl_;
};

// A COM number no other test program of this run uses at the same time (Wine's device names are
// shared by all the programs that run in one prefix at once): serial tests use slots 0 to 3, wind
// tests 4 and 5, the output stage's allocation test 7.
int uniqueComNumber(int slot);
// A COM number that names no port.
int missingComNumber();

// Declares, for this process, the USB identity of the port COMn in TARVELMOND_PORT_IDENTITY, the way a
// user tells the library about a device the system cannot identify (a pseudo-terminal has no USB
// identity, natively or under Wine), so that the library's own port scan accepts it. Replaces any
// earlier declaration. The default identity is a CH340's, one the scan accepts.
void declarePortIdentity(int comNumber, const std::string& hardwareIds = "USB\\VID_1A86&PID_7523");

}  // namespace tarvelmond::test
