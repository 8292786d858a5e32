#include "platform/serial_device.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {
namespace {

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

BYTE parityCode(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return ODDPARITY;
        case Parity::Even:
            return EVENPARITY;
        default:
            return NOPARITY;
    }
}

bool failWith(DWORD error) {
    SetLastError(error);
    return false;
}

// Sets rate and framing; with `clearFlowControl` also turns off hardware and XON/XOFF flow control.
bool applyLine(HANDLE port, const LineSettings& line, bool clearFlowControl) {
    DCB state{};
    state.DCBlength = sizeof state;
    if (!GetCommState(port, &state)) return false;
    state.BaudRate = line.baudRate;
    state.ByteSize = line.dataBits;
    state.Parity = parityCode(line.parity);
    state.StopBits = line.stopBits == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
    if (clearFlowControl) {
        state.fOutxCtsFlow = FALSE;
        state.fOutxDsrFlow = FALSE;
        state.fDsrSensitivity = FALSE;
        state.fOutX = FALSE;
        state.fInX = FALSE;
    }
    return SetCommState(port, &state) != FALSE;
}

}  // namespace

bool SerialDevice::open(const std::string& name) {
    close();
    const std::string path = name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name;
    HANDLE handle =
        CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void SerialDevice::close() {
    if (isOpen()) CloseHandle(handleOf(handle_));
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

bool SerialDevice::isOpen() const {
    return handleOf(handle_) != INVALID_HANDLE_VALUE && handle_ != 0;
}

bool SerialDevice::configure(const LineSettings& line) {
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return applyLine(handleOf(handle_), line, true);
}

bool SerialDevice::configureFraming(const LineSettings& line) {
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return applyLine(handleOf(handle_), line, false);
}

bool SerialDevice::readTimeouts(Timeouts& timeouts) {
    COMMTIMEOUTS current{};
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    if (!GetCommTimeouts(handleOf(handle_), &current)) return false;
    timeouts = {current.ReadIntervalTimeout, current.ReadTotalTimeoutMultiplier,
                current.ReadTotalTimeoutConstant, current.WriteTotalTimeoutMultiplier,
                current.WriteTotalTimeoutConstant};
    return true;
}

bool SerialDevice::setTimeouts(const Timeouts& timeouts) {
    COMMTIMEOUTS wanted{timeouts.readInterval, timeouts.readMultiplier, timeouts.readConstant,
                        timeouts.writeMultiplier, timeouts.writeConstant};
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return SetCommTimeouts(handleOf(handle_), &wanted) != FALSE;
}

bool SerialDevice::setQueueSizes(std::uint32_t input, std::uint32_t output) {
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return SetupComm(handleOf(handle_), input, output) != FALSE;
}

ModemStatus SerialDevice::modemStatus() {
    DWORD lines = 0;
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ModemStatus::Failed;
    }
    if (GetCommModemStatus(handleOf(handle_), &lines)) return ModemStatus::Read;
    // Virtual ports (and pseudo-terminals under Wine) have no modem lines.
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? ModemStatus::NotSupported
                                                                           : ModemStatus::Failed;
}

bool SerialDevice::clearErrors(PortStatus* status) {
    DWORD errors = 0;
    COMSTAT comStatus{};
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    if (!ClearCommError(handleOf(handle_), &errors, &comStatus)) return false;
    if (status != nullptr) {
        status->bytesToRead = comStatus.cbInQue;
        status->bytesToWrite = comStatus.cbOutQue;
    }
    return true;
}

bool SerialDevice::purgeInput() {
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return PurgeComm(handleOf(handle_), PURGE_RXCLEAR) != FALSE;
}

bool SerialDevice::write(const std::uint8_t* bytes, std::size_t count, std::size_t& written) {
    DWORD done = 0;
    written = 0;
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    const BOOL ok = WriteFile(handleOf(handle_), bytes, static_cast<DWORD>(count), &done, nullptr);
    written = done;
    if (ok == FALSE) return false;
    // The write time-out ends a write with fewer bytes and no error; part of a message on the wire is
    // not the message, so that counts as a failure.
    return done == count || failWith(ERROR_TIMEOUT);
}

bool SerialDevice::read(std::uint8_t* bytes, std::size_t count, std::size_t& got) {
    DWORD done = 0;
    got = 0;
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    // A device that has gone away fails its status query. Asking first keeps a read from waiting out
    // its whole time-out on it (Wine does so on a hung-up terminal), holding the port meanwhile.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handleOf(handle_), &errors, &status)) return false;
    const BOOL ok = ReadFile(handleOf(handle_), bytes, static_cast<DWORD>(count), &done, nullptr);
    got = done;
    return ok != FALSE;
}

bool isKnownDeviceName(const std::string& name) {
    char target[256];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

bool hasDefaultConfiguration(const std::string& name) {
    COMMCONFIG configuration{};
    DWORD size = sizeof configuration;
    return GetDefaultCommConfigW(widen(name).c_str(), &configuration, &size) != FALSE;
}

std::uint32_t lastSystemError() {
    return GetLastError();
}

void setLastSystemError(std::uint32_t code) {
    SetLastError(code);
}

bool systemErrorText(std::uint32_t code, std::wstring& text) {
    text.clear();
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) return false;
    text.assign(message, length);
    LocalFree(message);
    return true;
}

}  // namespace tarvelmond::platform
