#include <utility>

#include "platform/stream.h"

namespace tarvelmond::platform {

Stream::Stream(Stream&& other) noexcept : handle_(std::exchange(other.handle_, kNone)), kind_(other.kind_) {}

Stream& Stream::operator=(Stream&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNone);
        kind_ = other.kind_;
    }
    return *this;
}

Stream Stream::adopt(std::intptr_t handle, StreamKind kind) {
    Stream stream;
    if (handle != kNone) {
        stream.handle_ = handle;
        stream.kind_ = kind;
    }
    return stream;
}

}  // namespace tarvelmond::platform
