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

const char* libraryFileName() {
    return "tarvelmond.dll";
}

}  // namespace tarvelmond::host
