#include "platform/stream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

namespace tarvelmond::platform {
namespace {

// How long one wait for the connection lasts before the cancel flag is looked at again.
constexpr std::chrono::milliseconds kCancelCheck{20};

bool cancelled(const OpenLimits& limits) {
    return limits.cancel != nullptr && limits.cancel->load();
}

// Waits for a non-blocking connect to finish: true when it connected.
bool finishConnect(int fd, const OpenLimits& limits) {
    const auto deadline = std::chrono::steady_clock::now() + limits.limit;
    while (!cancelled(limits)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min(left, kCancelCheck).count()));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof error;
        return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    return false;
}

}  // namespace

void Stream::close() {
    if (handle_ == kNone) return;
    const int fd = static_cast<int>(std::exchange(handle_, kNone));
    if (kind_ == StreamKind::Socket) ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

Stream connectTcp(TcpFamily family, const std::string& host, const std::string& port,
                  const OpenLimits& limits) {
    addrinfo hints{};
    hints.ai_family = family == TcpFamily::Ipv4 ? AF_INET : AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    // An empty address names the local machine.
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found) != 0) return {};
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> results(found, &freeaddrinfo);
    if (found == nullptr) return {};

    Stream stream = Stream::adopt(
        ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol),
        StreamKind::Socket);
    if (!stream.valid()) return {};
    const int fd = static_cast<int>(stream.native());
    if (::connect(fd, found->ai_addr, found->ai_addrlen) == 0) return stream;
    if (errno != EINPROGRESS || !finishConnect(fd, limits)) return {};  // `stream` closes the socket
    return stream;
}

bool pipesSupported() {
    return false;
}

Stream openPipe(const std::string&, const OpenLimits&) {
    return {};
}

}  // namespace tarvelmond::platform
