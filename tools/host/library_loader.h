#pragma once
#include <string>

namespace tarvelmond::host {

// The library loaded by its plain name through the system's usual search (beside the program first),
// as any motion host loads it: dlopen on Linux, LoadLibrary on Windows. The one place the host meets
// the system's loader.
class LoadedLibrary {
  public:
    explicit LoadedLibrary(const std::string& fileName);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    void* symbol(const char* name) const;  // null if the library has no such export

  private:
    void* handle_ = nullptr;
    std::string error_;
};

// tarvelmond.dll or libtarvelmond.so.
const char* libraryFileName();

// The folder this program lies in, with a trailing separator (empty if the system does not say):
// the library and the other tools are found beside it.
std::string programFolder();

}  // namespace tarvelmond::host
