#include "platform/dynamic_library.h"

#include <windows.h>

namespace tarvelmond::platform {

DynamicLibrary::DynamicLibrary(const std::string& name) : handle_(LoadLibraryA(name.c_str())) {
    if (handle_ == nullptr) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

const char* productLibraryName() {
    return "tarvelmond.dll";
}

}  // namespace tarvelmond::platform
