#include "platform/serial_ports.h"

#include <windows.h>
// The device setup interface needs the base types of windows.h first.
#include <setupapi.h>

#include <memory>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {
namespace {

// GUID_DEVINTERFACE_COMPORT, spelled out to need no GUID-defining header.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr DWORD kMaxDevices = 6000;
constexpr DWORD kPropertyBytes = 1024;

struct DeviceSetDeleter {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};

bool readProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, std::string& value) {
    char buffer[kPropertyBytes + 2] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           kPropertyBytes, nullptr)) {
        return false;
    }
    // A hardware-id list is several strings, each ended by NUL; search them as one text.
    std::size_t end = 0;
    while (end < kPropertyBytes && !(buffer[end] == '\0' && buffer[end + 1] == '\0'))
        ++end;
    value.assign(buffer, end);
    for (char& c : value)
        if (c == '\0') c = '\n';
    return true;
}

// The process's environment block, which a host may change after start-up too.
std::string environmentVariable(const char* name) {
    const std::wstring wideName = widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    if (length == 0 || length >= size) return {};
    value.resize(length);
    return narrow(value);
}

}  // namespace

bool listDeviceNames(std::vector<std::string>& names) {
    names.clear();
    std::size_t size = 4096;
    std::unique_ptr<wchar_t[]> buffer;
    DWORD length = 0;
    for (;;) {
        buffer = std::make_unique<wchar_t[]>(size);
        length = QueryDosDeviceW(nullptr, buffer.get(), static_cast<DWORD>(size));
        if (length != 0) break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        size *= 2;
    }
    for (const wchar_t* name = buffer.get(); name < buffer.get() + length && *name != L'\0';
         name += wcslen(name) + 1) {
        names.push_back(narrow(name));
    }
    return true;
}

std::vector<ComPortDevice> listComPortDevices() {
    std::vector<ComPortDevice> devices = parseDeclaredPorts(environmentVariable(kPortIdentityVariable));
    HDEVINFO set =
        SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return devices;
    std::unique_ptr<void, DeviceSetDeleter> owner(set);
    for (DWORD index = 0; index < kMaxDevices; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        ComPortDevice entry;
        if (!readProperty(set, device, SPDRP_FRIENDLYNAME, entry.friendlyName)) continue;
        readProperty(set, device, SPDRP_HARDWAREID, entry.hardwareIds);
        devices.push_back(std::move(entry));
    }
    return devices;
}

}  // namespace tarvelmond::platform
