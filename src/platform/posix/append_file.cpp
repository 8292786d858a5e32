#include "platform/append_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace tarvelmond::platform {

bool AppendFile::open(const std::string& path) {
    close();
    handle_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    return handle_ >= 0;
}

bool AppendFile::isOpen() const {
    return handle_ >= 0;
}

bool AppendFile::append(std::string_view text) {
    return handle_ >= 0 &&
           ::write(static_cast<int>(handle_), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void AppendFile::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace tarvelmond::platform
