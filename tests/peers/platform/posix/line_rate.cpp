#include "peers/platform/posix/line_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tarvelmond::test {

std::uint32_t outputLineRate(int fd) {
    termios2 settings{};
    return ioctl(fd, TCGETS2, &settings) == 0 ? settings.c_ospeed : 0;
}

}  // namespace tarvelmond::test
