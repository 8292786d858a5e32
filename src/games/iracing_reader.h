#pragma once
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// iRacing's block. The parse functions look only at the bytes they are given.
namespace tarvelmond {

struct TelemetryRecord;

inline constexpr std::int32_t kNoTickSeen = INT_MAX;

struct IRacingSlot {
    // Room for one data buffer; a longer buffer is copied as far as it fits (variables beyond count as
    // missing).
    static constexpr std::size_t kScratchSize = 32768;

    platform::SharedMemory block;
    platform::NamedEvent dataValidEvent;
    bool connected = false;
    bool mapped = false;
    std::int32_t lastTick = kNoTickSeen;
    std::array<std::uint8_t, kScratchSize> scratch{};
};

// The header fields the reader uses, each checked against the mapping: the variable headers and every
// data buffer named lie wholly inside it.
struct IRacingHeader {
    static constexpr std::size_t kSize = 112;  // through the four buffer entries
    static constexpr std::size_t kMostBuffers = 4;
    static constexpr std::size_t kVariableHeaderSize = 144;
    static constexpr std::size_t kNameLength = 32;

    std::int32_t status = 0;
    std::size_t variableCount = 0;
    std::size_t variableHeaders = 0;  // offset
    std::size_t bufferCount = 0;
    std::size_t bufferLength = 0;
};

// None when the block is too short for the header, a count or offset is negative or out of range, or
// anything named lies outside the block.
std::optional<IRacingHeader> parseIRacingHeader(BlockBytes block);

struct IRacingBuffer {
    std::size_t index = 0;
    std::int32_t tick = 0;
    std::size_t offset = 0;
};
// The buffer with the highest tick count; ties keep the earlier one.
IRacingBuffer newestIRacingBuffer(BlockBytes block, const IRacingHeader& header);

struct IRacingVariable {
    std::int32_t type = 0;   // 4: 32-bit float, 5: double
    std::size_t offset = 0;  // inside a data buffer
};
// The first variable whose name is exactly `name` (up to 32 characters).
std::optional<IRacingVariable> findIRacingVariable(BlockBytes block, const IRacingHeader& header,
                                                   std::string_view name);

enum class IRacingFrame {
    NoData,     // not connected to a session, or a header that does not fit the block
    Unchanged,  // no newer tick than the last one read (a lower one has been adopted)
    NewFrame,   // the newest buffer was read into the record
};
// Reads the newest data buffer when its tick count rose: copies it into `scratch` (as far as it fits),
// fills the record and applies the gravity split. A wanted variable that the header lacks counts as no
// motion: its angle or rate is 0, and its acceleration is the gravity component alone (0 without
// gravity).
IRacingFrame parseIRacingBlock(BlockBytes block, std::int32_t& lastTick, std::span<std::uint8_t> scratch,
                               TelemetryRecord& record);
int readIRacing(IRacingSlot& slot, const ReaderContext& context);

}  // namespace tarvelmond
