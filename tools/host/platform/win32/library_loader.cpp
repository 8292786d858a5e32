#include "library_loader.h"

#include <windows.h>

namespace tarvelmond::host {

LoadedLibrary::LoadedLibrary(const std::string& fileName) {
    // The search starts in the program's folder, so the DLL beside the host is the one loaded.
    handle_ = LoadLibraryA(fileName.c_str());
    if (handle_ == nullptr) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
}

LoadedLibrary::~LoadedLibrary() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* LoadedLibrary::symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const std::string self(path, length);
    return self.substr(0, self.find_last_of("\\/") + 1);
}

const char* libraryFileName() {
    return "tarvelmond.dll";
}

}  // namespace tarvelmond::host
