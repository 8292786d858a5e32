#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

namespace tarvelmond::platform {
namespace {

// Like Windows, a bare name is looked for beside the running program first. (dlopen's own search
// would use the calling object's run path, which a sanitizer runtime intercepting dlopen replaces.)
std::string besideExecutable(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return name;
    std::string directory(path, static_cast<std::size_t>(length));
    directory.resize(directory.find_last_of('/') + 1);
    return directory + name;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& name) {
    handle_ = dlopen(besideExecutable(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
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
