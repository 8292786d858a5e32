// iRacing: the "Local\IRSDKMemMapFileName" block. A header names the variables (144-byte entries: type
// at +0, offset inside a data buffer at +4, name at +16) and up to four data buffers that the game
// fills in turn, each with the tick count of the frame it holds. Accelerations include gravity;
// angles are in radians and rates stay in radians per second.
#include "games/iracing_reader.h"

#include <algorithm>
#include <cstring>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr std::int32_t kConnectedBit = 1;
constexpr std::int32_t kFloat = 4;
constexpr std::int32_t kDouble = 5;
constexpr std::size_t kBufferEntries = 48;
constexpr std::size_t kBufferEntrySize = 16;

std::size_t bufferEntry(std::size_t index) {
    return kBufferEntries + index * kBufferEntrySize;
}

// A count or offset from the header: none when negative.
std::optional<std::size_t> nonNegative(std::optional<std::int32_t> value) {
    if (!value || *value < 0) return std::nullopt;
    return static_cast<std::size_t>(*value);
}

bool nameMatches(const std::uint8_t* field, std::string_view name) {
    const auto* text = reinterpret_cast<const char*>(field);
    const std::size_t length = std::find(text, text + IRacingHeader::kNameLength, '\0') - text;
    return std::string_view(text, length) == name.substr(0, IRacingHeader::kNameLength);
}

// A variable's current value from the copied buffer, if the header has it and it lies in the copy.
std::optional<double> variableValue(BlockBytes block, const IRacingHeader& header, BlockBytes copy,
                                    std::string_view name) {
    const auto variable = findIRacingVariable(block, header, name);
    if (!variable) return std::nullopt;
    const ByteView bytes(copy);
    if (variable->type == kFloat && bytes.has(variable->offset, 4)) return bytes.f32le(variable->offset);
    if (variable->type == kDouble && bytes.has(variable->offset, 8)) return bytes.f64le(variable->offset);
    return std::nullopt;
}

}  // namespace

std::optional<IRacingHeader> parseIRacingHeader(BlockBytes block) {
    const ByteView bytes(block);
    if (bytes.size() < IRacingHeader::kSize) return std::nullopt;
    IRacingHeader header;
    header.status = *bytes.i32le(4);
    const auto variableCount = nonNegative(bytes.i32le(24));
    const auto variableHeaders = nonNegative(bytes.i32le(28));
    const auto bufferCount = nonNegative(bytes.i32le(32));
    const auto bufferLength = nonNegative(bytes.i32le(36));
    if (!variableCount || !variableHeaders || !bufferCount || !bufferLength) return std::nullopt;
    if (*variableHeaders > bytes.size() ||
        *variableCount > (bytes.size() - *variableHeaders) / IRacingHeader::kVariableHeaderSize) {
        return std::nullopt;
    }
    if (*bufferCount < 1 || *bufferCount > IRacingHeader::kMostBuffers || *bufferLength == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < *bufferCount; ++i) {
        const auto offset = nonNegative(bytes.i32le(bufferEntry(i) + 4));
        if (!offset || !bytes.has(*offset, *bufferLength)) return std::nullopt;
    }
    header.variableCount = *variableCount;
    header.variableHeaders = *variableHeaders;
    header.bufferCount = *bufferCount;
    header.bufferLength = *bufferLength;
    return header;
}

IRacingBuffer newestIRacingBuffer(BlockBytes block, const IRacingHeader& header) {
    const ByteView bytes(block);
    IRacingBuffer newest;
    for (std::size_t i = 0; i < header.bufferCount; ++i) {
        const std::int32_t tick = bytes.i32le(bufferEntry(i)).value_or(0);
        if (i == 0 || tick > newest.tick) {
            newest.index = i;
            newest.tick = tick;
        }
    }
    newest.offset = static_cast<std::size_t>(bytes.i32le(bufferEntry(newest.index) + 4).value_or(0));
    return newest;
}

std::optional<IRacingVariable> findIRacingVariable(BlockBytes block, const IRacingHeader& header,
                                                   std::string_view name) {
    const ByteView bytes(block);
    for (std::size_t i = 0; i < header.variableCount; ++i) {
        const std::size_t entry = header.variableHeaders + i * IRacingHeader::kVariableHeaderSize;
        if (!bytes.has(entry, IRacingHeader::kVariableHeaderSize)) return std::nullopt;
        if (!nameMatches(block.data() + entry + 16, name)) continue;
        const auto offset = nonNegative(bytes.i32le(entry + 4));
        if (!offset) return std::nullopt;
        return IRacingVariable{*bytes.i32le(entry), *offset};
    }
    return std::nullopt;
}

IRacingFrame parseIRacingBlock(BlockBytes block, std::int32_t& lastTick, std::span<std::uint8_t> scratch,
                               TelemetryRecord& record) {
    const ByteView bytes(block);
    if (bytes.size() < IRacingHeader::kSize) return IRacingFrame::NoData;
    if ((*bytes.i32le(4) & kConnectedBit) == 0) {
        lastTick = kNoTickSeen;
        return IRacingFrame::NoData;
    }
    const auto header = parseIRacingHeader(block);
    if (!header) return IRacingFrame::NoData;
    const IRacingBuffer newest = newestIRacingBuffer(block, *header);
    if (newest.tick <= lastTick) {
        lastTick = newest.tick;  // a game that restarted counts from low again
        return IRacingFrame::Unchanged;
    }
    const std::size_t length = std::min(header->bufferLength, scratch.size());
    std::memcpy(scratch.data(), block.data() + newest.offset, length);
    // The game fills the buffers in turn; had it come round to this one while it was copied, the copy
    // would mix two frames. Then the next call reads again.
    if (bytes.i32le(bufferEntry(newest.index)) != newest.tick) return IRacingFrame::Unchanged;
    lastTick = newest.tick;

    const BlockBytes copy = scratch.first(length);
    const auto value = [&](std::string_view name) { return variableValue(block, *header, copy, name); };
    struct Acceleration {
        const char* name = nullptr;
        double sign = 1.0;
        Channel withGravity{}, withoutGravity{}, gravity{};
        bool present = false;
    };
    Acceleration accelerations[] = {
        {"LatAccel", -1.0, Channel::lateral_accel_g, Channel::lateral_accel, Channel::lateral_gravi},
        {"LongAccel", 1.0, Channel::longitu_accel_g, Channel::longitu_accel, Channel::longitu_gravi},
        {"VertAccel", 1.0, Channel::vertica_accel_g, Channel::vertica_accel, Channel::vertica_gravi},
    };
    for (Acceleration& a : accelerations) {
        const auto v = value(a.name);
        a.present = v.has_value();
        if (v) record.set(a.withGravity, a.sign * *v);
    }
    struct Angle {
        const char* name;
        double factor;
        Channel channel;
    };
    constexpr Angle angles[] = {
        {"YawRate", 1.0, Channel::yaw_speed},        {"RollRate", 1.0, Channel::roll_speed},
        {"PitchRate", 1.0, Channel::pitch_speed},    {"Yaw", kRadToDeg, Channel::yaw_position},
        {"Roll", kRadToDeg, Channel::roll_position}, {"Pitch", -kRadToDeg, Channel::pitch_position},
    };
    for (const Angle& a : angles)
        record.set(a.channel, value(a.name).value_or(0.0) * a.factor);

    applyGravitySplit(record, GravityMode::WithGravity);
    for (const Acceleration& a : accelerations) {
        if (a.present) continue;
        record.set(a.withGravity, record.get(a.gravity));
        record.set(a.withoutGravity, 0.0);
    }
    return IRacingFrame::NewFrame;
}

int readIRacing(IRacingSlot& slot, const ReaderContext& context) {
    if (!slot.connected) return 0;
    // A lost view is not mapped again here: the no-data count lets the game go, and the next connection
    // maps it afresh.
    if (!slot.mapped || !slot.block.isOpen()) return 0;
    const IRacingFrame frame =
        parseIRacingBlock(viewBytes(slot.block), slot.lastTick, slot.scratch, context.record);
    if (frame == IRacingFrame::NoData) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    return 1;
}

namespace {

using platform::ViewAccess;

constexpr const char* kBlock = "Local\\IRSDKMemMapFileName";
constexpr const char* kDataValidEvent = "Local\\IRSDKDataValidEvent";
constexpr const char* kBlocks[] = {kBlock};
constexpr const char* kProcesses[] = {"iRacingSim64DX11.exe", "Iracing.exe"};
constexpr GameIdentity kIdentity{kIRacing, "iRacing", 0, kBlocks, kProcesses};

class IRacingReader final : public GameReader {
  public:
    IRacingReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        if (anyProcessRunning(identity().processNames) && platform::sharedMemoryExists(kBlock)) return true;
        close();
        return false;
    }
    int connect() override {
        if (slot_.connected || !anyProcessRunning(identity().processNames)) {
            close();
            slot_.connected = false;
            return 0;
        }
        if (!platform::sharedMemoryExists(kBlock)) {
            slot_.mapped = false;
            return 0;
        }
        if (!slot_.block.isOpen()) {
            slot_.lastTick = kNoTickSeen;
            if (!slot_.block.openExisting(kBlock, 0, ViewAccess::ReadOnly)) {
                slot_.mapped = false;
                return 0;
            }
        }
        if (!slot_.dataValidEvent.isOpen()) {
            slot_.lastTick = kNoTickSeen;
            if (!slot_.dataValidEvent.openExisting(kDataValidEvent)) {
                slot_.mapped = false;
                return 0;
            }
        }
        slot_.mapped = true;
        slot_.connected = true;
        return 1;
    }
    int read(const ReaderContext& context) override { return readIRacing(slot_, context); }
    void disconnect() override {
        close();
        slot_.connected = false;
    }
    bool holdsChannel() const override { return slot_.block.isOpen() || slot_.dataValidEvent.isOpen(); }

  private:
    void close() {
        slot_.dataValidEvent.close();
        slot_.block.close();
        slot_.lastTick = kNoTickSeen;
        slot_.mapped = false;
    }

    IRacingSlot slot_;
};

}  // namespace

extern const GameEntry kIRacingGame;
const GameEntry kIRacingGame{kIdentity, makeReader<kIdentity, IRacingReader>};

}  // namespace tarvelmond
