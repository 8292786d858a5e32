#pragma once
#include <cstdint>

namespace tarvelmond::platform {

// Sets input and output rate of an open tty to any rate through termios2 (BOTHER). Kept apart
// because the kernel's termios2 header clashes with <termios.h>.
bool setArbitraryLineRate(int fd, std::uint32_t baud);

}  // namespace tarvelmond::platform
