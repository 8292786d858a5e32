#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace tarvelmond::platform {

DynamicLibrary::DynamicLibrary(const std::string& name)
    : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
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
