#include "platform/simulator_process.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>

namespace tarvelmond::platform {

std::optional<void*> simulatorWindowOfThisProcess() {
    void* program = dlopen(nullptr, RTLD_NOW);
    if (program == nullptr) return std::nullopt;
    const auto mainWindow = reinterpret_cast<void* (*)()>(dlsym(program, "FlightSimGetMainHwnd"));
    const auto processId = reinterpret_cast<std::uint32_t (*)()>(dlsym(program, "FlightSimGetProcessId"));
    dlclose(program);
    if (mainWindow == nullptr || processId == nullptr) return std::nullopt;
    void* const window = mainWindow();
    Dl_info self{};
    const bool moduleFound = dladdr(reinterpret_cast<void*>(&simulatorWindowOfThisProcess), &self) != 0;
    if (window == nullptr || processId() != static_cast<std::uint32_t>(getpid()) || !moduleFound) {
        return std::nullopt;
    }
    return window;
}

}  // namespace tarvelmond::platform
