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

    // Pulls the device out: the library's open of it fails from then on, and COMn no longer exists.
    // Plugging in again makes a new device under the same name. Not while another thread reads or
    // writes the far end.
    void unplug();
    void plugIn();

    // Fills the system's buffers between the library and the far end, as a device that stopped reading
    // leaves them: the library's writes then wait for their time-out. False where the far end cannot
    // reach the library's side (under Wine, where socat stands between). The filling bytes arrive at
    // the far end once it reads again.
    bool fillTowardsFarEnd();
    int comNumber() const { return comNumber_; }
    std::string comName() const { return "COM" + std::to_string(comNumber_); }

    // Up to `max` bytes, waiting at most `wait` for the first; 0 when nothing came.
    std::size_t read(std::uint8_t* bytes, std::size_t max, std::chrono::milliseconds wait);
    void write(const std::uint8_t* bytes, std::size_t count);

    // The output rate the library set on its end; 0 where it cannot be seen (under Wine).
    std::uint32_t libraryLineRate() const;

    struct Impl;

  private:
    int comNumber_;
    std::unique_ptr<Impl> impl_;
};

// A COM number no other test program of this run uses at the same time (Wine's device names are
// shared by all the programs that run in one prefix at once): serial tests use slots 0 to 3, wind
// tests 4 and 5, the live chain and the exit test 6 (programs that both hold the machine's names, never
// at the same time), the output stage's allocation test 7.
int uniqueComNumber(int slot);
// A COM number that names no port.
int missingComNumber();

// Declares, for this process, the USB identity of the port COMn in TARVELMOND_PORT_IDENTITY, the way a
// user tells the library about a device the system cannot identify (a pseudo-terminal has no USB
// identity, natively or under Wine), so that the library's own port scan accepts it. Replaces any
// earlier declaration. The default identity is a CH340's, one the scan accepts.
void declarePortIdentity(int comNumber, const std::string& hardwareIds = "USB\\VID_1A86&PID_7523");

}  // namespace tarvelmond::test
