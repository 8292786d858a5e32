#include "library_loader.h"

#include <dlfcn.h>

#include <filesystem>

namespace tarvelmond::host {
namespace {

// The library beside the program wins over one installed elsewhere, as on Windows.
std::string besideProgram(const std::string& fileName) {
    const std::string folder = programFolder();
    std::error_code error;
    if (folder.empty() || !std::filesystem::exists(folder + fileName, error)) {
        return {};
    }
    return folder + fileName;
}

}  // namespace

LoadedLibrary::LoadedLibrary(const std::string& fileName) {
    const std::string beside = besideProgram(fileName);
    handle_ = dlopen(beside.empty() ? fileName.c_str() : beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();  // NOLINT(concurrency-mt-unsafe): loaded once, before any thread
        error_ = why != nullptr ? why : "dlopen failed";
    }
}

LoadedLibrary::~LoadedLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* LoadedLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

std::string programFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string() + "/";
}

const char* libraryFileName() {
    return "libtarvelmond.so";
}

}  // namespace tarvelmond::host
