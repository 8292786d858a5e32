// The session recording reader (tarvelmond-host replay) on arbitrary bytes: it must end with a session
// or a SessionError, never read outside the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <span>

#include "session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const tarvelmond::host::Session session =
            tarvelmond::host::parseSession(std::span<const std::uint8_t>(data, size), "fuzz.tmr");
        (void)session;
    } catch (const tarvelmond::host::SessionError&) {
    }
    return 0;
}
