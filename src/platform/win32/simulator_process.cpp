#include "platform/simulator_process.h"

#include <windows.h>

namespace tarvelmond::platform {

std::optional<void*> simulatorWindowOfThisProcess() {
    const HMODULE program = GetModuleHandleW(nullptr);
    const auto mainWindow = reinterpret_cast<HWND (*)()>(
        reinterpret_cast<void*>(GetProcAddress(program, "FlightSimGetMainHwnd")));
    const auto processId = reinterpret_cast<DWORD (*)()>(
        reinterpret_cast<void*>(GetProcAddress(program, "FlightSimGetProcessId")));
    if (mainWindow == nullptr || processId == nullptr) return std::nullopt;
    const HWND window = mainWindow();
    HMODULE self = nullptr;
    const bool moduleFound =
        GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&simulatorWindowOfThisProcess), &self) != 0;
    if (window == nullptr || processId() != GetCurrentProcessId() || !moduleFound) return std::nullopt;
    return static_cast<void*>(window);
}

}  // namespace tarvelmond::platform
