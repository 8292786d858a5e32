#pragma once
#include <string>

// Loads a shared library by name and resolves exported symbols (LoadLibrary/GetProcAddress on Windows,
// dlopen/dlsym elsewhere). Used by programs that load the product the way a host does.
namespace tarvelmond::platform {

class DynamicLibrary {
  public:
    explicit DynamicLibrary(const std::string& name);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const;  // null if absent
    const std::string& error() const { return error_; }

    template <typename Function>
    Function function(const char* name) const {
        return reinterpret_cast<Function>(symbol(name));
    }

    // Sets `target` to the export `name`; when it is missing, says so in `error` (if that is still
    // empty, so that it names the first one missing).
    template <typename Function>
    void resolve(const char* name, Function& target, std::string& error) const {
        target = function<Function>(name);
        if (target == nullptr && error.empty()) error = std::string("the library exports no ") + name;
    }

  private:
    void* handle_ = nullptr;
    std::string error_;
};

// The product's file name on this platform: tarvelmond.dll or libtarvelmond.so.
const char* productLibraryName();

}  // namespace tarvelmond::platform
