#include "platform/serial_device.h"

#include <windows.h>

#include <chrono>

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
    COMMTIMEOUTS current{};
    timeouts_ = {};
    if (GetCommTimeouts(handle, &current)) {
        timeouts_ = {current.ReadIntervalTimeout, current.ReadTotalTimeoutMultiplier,
                     current.ReadTotalTimeoutConstant, current.WriteTotalTimeoutMultiplier,
                     current.WriteTotalTimeoutConstant};
    }
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
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    timeouts = timeouts_;
    return true;
}

bool SerialDevice::setTimeouts(const Timeouts& timeouts) {
    // The device ends every write after one slice; write() carries on until the asked time-out has
    // passed, so a write can also be given up between slices.
    COMMTIMEOUTS wanted{timeouts.readInterval, timeouts.readMultiplier, timeouts.readConstant, 0,
                        kWaitSliceMs};
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    if (SetCommTimeouts(handleOf(handle_), &wanted) == FALSE) return false;
    timeouts_ = timeouts;
    return true;
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

bool SerialDevice::purgeOutput() {
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    return PurgeComm(handleOf(handle_), PURGE_TXABORT | PURGE_TXCLEAR) != FALSE;
}

bool SerialDevice::write(const std::uint8_t* bytes, std::size_t count, std::size_t& written) {
    written = 0;
    if (!isOpen()) return failWith(ERROR_INVALID_HANDLE);
    const std::uint64_t limitMs =
        static_cast<std::uint64_t>(timeouts_.writeMultiplier) * count + timeouts_.writeConstant;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (written < count) {
        DWORD done = 0;
        const BOOL ok = WriteFile(handleOf(handle_), bytes + written, static_cast<DWORD>(count - written),
                                  &done, nullptr);
        written += done;
        if (ok == FALSE) return false;
        if (written == count) break;
        // A slice ended with bytes left. Part of a message on the wire is not the message, so running
        // out of time, or being told to give up, is a failure.
        if (waitsAbandoned_.load()) return failWith(ERROR_OPERATION_ABORTED);
        if (limitMs != 0 && std::chrono::steady_clock::now() >= deadline) return failWith(ERROR_TIMEOUT);
    }
    return true;
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
