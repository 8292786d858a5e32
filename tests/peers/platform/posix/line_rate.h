#pragma once
#include <cstdint>

namespace tarvelmond::test {

// The output rate of a tty as termios2 reports it (any rate, not only the standard ones); 0 on failure.
std::uint32_t outputLineRate(int fd);

}  // namespace tarvelmond::test
