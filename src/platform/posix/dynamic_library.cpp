#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/process_info.h"

namespace tarvelmond::platform {

DynamicLibrary::DynamicLibrary(const std::string& name)
    : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr && name.find('/') == std::string::npos) {
        // Like Windows, look in the program's own folder too: the $ORIGIN run path is not applied
        // when a sanitizer's interceptor makes the dlopen call.
        const std::string self = executablePath();
        const std::string beside = self.substr(0, self.find_last_of('/') + 1) + name;
        handle_ = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle_ == nullptr) error_ = dlerror();
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

const char* productLibraryName() {
    return "libtarvelmond.so";
}

}  // namespace tarvelmond::platform
