// The session recording reader (tarvelmond-host replay) on arbitrary bytes: it must end with a session
// or a SessionError, never read outside the bytes it was given. What it reads, written again, reads
// back the same, and its block frames rebuild blocks no larger than a recording allows.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "raw_input.h"
#include "session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvelmond;
    host::Session session;
    try {
        session = host::parseSession(std::span<const std::uint8_t>(data, size), "fuzz.tmr");
    } catch (const host::SessionError&) {
        return 0;
    }
    std::map<std::string, std::vector<std::uint8_t>> images;
    for (const host::BlockRecord& block : session.blocks) {
        std::vector<std::uint8_t>& image = images[block.name];
        hostio::applyBlockFrame(block, image);
        if (image.size() > hostio::kMaxBlockSize) std::abort();
    }
    host::SessionWriter writer(session.telemetryNames, session.cueCount);
    for (const host::BlockRecord& block : session.blocks)
        writer.block(block);
    const host::Session again = host::parseSession(writer.take(), "again.tmr");
    if (again.blocks.size() != session.blocks.size()) std::abort();
    for (std::size_t i = 0; i < session.blocks.size(); ++i) {
        const host::BlockRecord& read = session.blocks[i];
        const host::BlockRecord& reread = again.blocks[i];
        // Compared by their bits: a recorded time may be a NaN.
        if (std::bit_cast<std::uint64_t>(read.seconds) != std::bit_cast<std::uint64_t>(reread.seconds) ||
            read.name != reread.name || read.size != reread.size || read.runs != reread.runs) {
            std::abort();
        }
    }
    return 0;
}
