#include "platform/posix/serial_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tarvelmond::platform {

bool setArbitraryLineRate(int fd, std::uint32_t baud) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baud;
    settings.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace tarvelmond::platform
