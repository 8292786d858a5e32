#include "peers/far_end.h"
#include "peers/platform/posix/line_rate.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace tarvelmond::test {
namespace {

// One directory of COM links per test process, named to the library through the environment, and
// removed with the process.
class ComDirectory {
  public:
    // A directory of its own, not one named after the process id: runs in separate process namespaces
    // (scripts/isolated.sh) share /tmp and often have the same pids.
    ComDirectory() : owner_(getpid()) {
        if (mkdtemp(path_.data()) == nullptr) std::abort();
        setenv("TARVELMOND_SERIAL_DIR", path_.c_str(), 1);
    }
    ~ComDirectory() {
        std::error_code ignored;
        if (getpid() == owner_) std::filesystem::remove_all(path_, ignored);
    }
    ComDirectory(const ComDirectory&) = delete;
    ComDirectory& operator=(const ComDirectory&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_ = "/tmp/tarvelmond-com-XXXXXX";
    pid_t owner_;
};

const std::string& comDirectoryOfThisProcess() {
    static const ComDirectory directory;
    return directory.path();
}

}  // namespace

struct FarEnd::Impl {
    int master = -1;
    int slave = -1;  // held open, so that the far end never sees a hang-up between the library's opens
    std::string link;
};

FarEnd::FarEnd(int comNumber) : comNumber_(comNumber), impl_(std::make_unique<Impl>()) {
    plugIn();
}

FarEnd::~FarEnd() {
    unplug();
}

void FarEnd::plugIn() {
    unplug();
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&impl_->master, &impl_->slave, nullptr, &raw, nullptr) != 0) return;
    // Not inherited by the processes a test starts (stand-in games): a child holding the master would
    // keep the device plugged in after unplug(), and the library's writes would wait for a reader.
    fcntl(impl_->master, F_SETFD, FD_CLOEXEC);
    fcntl(impl_->slave, F_SETFD, FD_CLOEXEC);
    fcntl(impl_->master, F_SETFL, fcntl(impl_->master, F_GETFL) | O_NONBLOCK);
    impl_->link = comDirectoryOfThisProcess() + "/com" + std::to_string(comNumber_);
    std::filesystem::remove(impl_->link);
    std::filesystem::create_symlink(ttyname(impl_->slave), impl_->link);
}

// Closing the master hangs up every open of the slave, as the kernel does to a USB adapter's tty
// when the adapter is pulled out.
void FarEnd::unplug() {
    if (!impl_->link.empty()) std::filesystem::remove(impl_->link);
    impl_->link.clear();
    if (impl_->slave >= 0) close(impl_->slave);
    if (impl_->master >= 0) close(impl_->master);
    impl_->slave = -1;
    impl_->master = -1;
}

bool FarEnd::fillTowardsFarEnd() {
    if (impl_->slave < 0) return false;
    fcntl(impl_->slave, F_SETFL, fcntl(impl_->slave, F_GETFL) | O_NONBLOCK);
    const std::vector<std::uint8_t> chunk(4096, 0xEE);
    while (::write(impl_->slave, chunk.data(), chunk.size()) > 0) {
    }
    return errno == EAGAIN;
}

bool FarEnd::ready() const {
    return impl_->master >= 0 && !impl_->link.empty();
}

std::size_t FarEnd::read(std::uint8_t* bytes, std::size_t max, std::chrono::milliseconds wait) {
    pollfd entry{impl_->master, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(wait.count())) <= 0) return 0;
    const ssize_t n = ::read(impl_->master, bytes, max);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EIO) std::this_thread::sleep_for(wait);  // no one holds the library end
    return 0;
}

// A device whose host does not read (no port open, or the library busy elsewhere) cannot push its bytes
// for ever: what finds no room within a while is lost, as a UART's would be, and the device's own thread
// goes on reading.
void FarEnd::write(const std::uint8_t* bytes, std::size_t count) {
    constexpr int kNoRoomForMs = 200;
    std::size_t done = 0;
    int waitedMs = 0;
    while (done < count && waitedMs < kNoRoomForMs) {
        const ssize_t n = ::write(impl_->master, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            waitedMs = 0;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd entry{impl_->master, POLLOUT, 0};
            if (poll(&entry, 1, 10) == 0) waitedMs += 10;
        }
    }
}

// Every process has its own COM directory, so any numbers do; these match the Windows ones.
std::uint32_t FarEnd::libraryLineRate() const {
    return outputLineRate(impl_->slave);
}

int uniqueComNumber(int slot) {
    return 2 + slot;
}

int missingComNumber() {
    return 250;
}

void declarePortIdentity(int comNumber, const std::string& hardwareIds) {
    const std::string entry = "COM" + std::to_string(comNumber) + "=" + hardwareIds;
    setenv("TARVELMOND_PORT_IDENTITY", entry.c_str(), 1);
}

}  // namespace tarvelmond::test
