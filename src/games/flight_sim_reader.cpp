#include "games/flight_sim_reader.h"

#include "games/byte_view.h"
#include "games/flight_sim_client.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/reader_context.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr std::size_t kIdAt = 8;
constexpr std::size_t kRequestAt = 12;
constexpr std::size_t kEventAt = 16;
constexpr std::size_t kBlockAt = 40;
constexpr std::size_t kValues = 17;
constexpr std::size_t kSimOnGround = 16;

void fillRecord(const ByteView& bytes, TelemetryRecord& record) {
    const auto value = [&](std::size_t k) { return bytes.f64le(kBlockAt + 8 * k); };
    using enum Channel;
    record.set(lateral_accel, value(0));
    record.set(longitu_accel, value(2));
    record.set(vertica_accel, value(1));
    record.set(lateral_speed, -value(6));
    record.set(longitu_speed, value(8));
    record.set(vertica_speed, -value(7));
    record.set(yaw_speed, -value(10) * kRadToDeg);
    record.set(roll_speed, -value(11) * kRadToDeg);
    record.set(pitch_speed, -value(9) * kRadToDeg);
    record.set(yaw_position, value(12) * kRadToDeg);
    record.set(roll_position, value(13) * kRadToDeg);
    record.set(pitch_position, -value(14) * kRadToDeg);
}

}  // namespace

FlightSimMessage classifyFlightSimMessage(std::span<const std::uint8_t> message) {
    const ByteView bytes(message);
    const auto id = bytes.u32le(kIdAt);
    if (!id) return FlightSimMessage::Other;
    switch (*id) {
        case kFlightSimException:
            return FlightSimMessage::Exception;
        case kFlightSimQuit:
            return FlightSimMessage::Quit;
        case kFlightSimEvent:
            return bytes.u32le(kEventAt) == kFlightSimQuitEvent ? FlightSimMessage::Quit
                                                                : FlightSimMessage::Other;
        case kFlightSimData:
            // A block cut short is no frame: half of it would mix with the previous one.
            return bytes.u32le(kRequestAt) == 0u && bytes.has(kBlockAt, 8 * kValues)
                       ? FlightSimMessage::Data
                       : FlightSimMessage::Other;
        default:
            return FlightSimMessage::Other;
    }
}

FlightSimMessage parseFlightSimMessage(std::span<const std::uint8_t> message, TelemetryRecord& record,
                                       std::uint32_t& onGround) {
    const FlightSimMessage kind = classifyFlightSimMessage(message);
    if (kind == FlightSimMessage::Data) {
        const ByteView bytes(message);
        fillRecord(bytes, record);
        onGround = bytes.u64le(kBlockAt + 8 * kSimOnGround) == 1u ? 1 : 0;
    }
    return kind;
}

void finishFlightSimRead(FrameTimer& timer, TelemetryRecord& record) {
    updateFrameTime(timer, record);
    applyGravitySplit(record, GravityMode::WithoutGravity);
}

int readFlightSim(const SimClientOps& ops, FlightSimSlot& slot, const ReaderContext& context) {
    // Without a client nothing new can come: reporting data here would keep a simulator that has quit
    // connected with a frozen record until the frozen-data watchdog gives up, five times later than
    // the no-data watchdog does.
    if (slot.handle == nullptr || ops.getNextDispatch == nullptr) return 0;
    for (int taken = 0; taken < kMostFlightSimMessagesPerRead; ++taken) {
        const std::uint8_t* message = nullptr;
        std::uint32_t size = 0;
        slot.lastResult = ops.getNextDispatch(slot.handle, &message, &size);
        if (slot.lastResult == kSimClientNoMessage) break;
        if (slot.lastResult < 0) {  // the connection has failed: it never delivers again
            closeFlightSim(ops, slot);
            return 0;
        }
        const std::span<const std::uint8_t> bytes =
            message != nullptr ? std::span(message, size) : std::span<const std::uint8_t>();
        const FlightSimMessage kind = parseFlightSimMessage(bytes, context.record, context.onGround);
        if (kind == FlightSimMessage::Quit) {
            closeFlightSim(ops, slot);
            return 0;
        }
        if (kind == FlightSimMessage::Exception) break;
    }
    finishFlightSimRead(context.timer, context.record);
    return 1;
}

namespace {

constexpr const char* kMsfs2020Processes[] = {"FlightSimulator.exe"};
constexpr GameIdentity kMsfs2020Identity{kMsfs2020, "MSFS2020", 0, {}, kMsfs2020Processes};
constexpr const char* kMsfs2024Processes[] = {"FlightSimulator2024.exe"};
constexpr GameIdentity kMsfs2024Identity{kMsfs2024, "MSFS2024", 0, {}, kMsfs2024Processes};

// Both simulators serve the same client port, so each is told apart by its process and by the other's
// (see detectFlightSim). A paused MSFS2020 keeps its connection while detection still finds it.
template <const GameIdentity& Other, bool KeepsStillConnection>
class FlightSimReader final : public GameReader {
  public:
    FlightSimReader(const GameIdentity& identity, const GameServices& services)
        : GameReader(identity), client_(services.simClient) {}

    bool detect() override {
        return detectFlightSim(client_, slot_, identity().processNames[0], Other.processNames[0]);
    }
    int connect() override { return connectFlightSim(client_, slot_); }
    int read(const ReaderContext& context) override { return readFlightSim(client_, slot_, context); }
    void disconnect() override { closeFlightSim(client_, slot_); }
    bool holdsChannel() const override { return slot_.handle != nullptr; }
    void releaseIdle() override { closeFlightSim(client_, slot_); }
    bool keepsStillConnection() const override { return KeepsStillConnection; }

  private:
    const SimClientOps& client_;
    FlightSimSlot slot_;
};

}  // namespace

extern const GameEntry kMsfs2020Game, kMsfs2024Game;
const GameEntry kMsfs2020Game{kMsfs2020Identity,
                              makeReader<kMsfs2020Identity, FlightSimReader<kMsfs2024Identity, true>>};
const GameEntry kMsfs2024Game{kMsfs2024Identity,
                              makeReader<kMsfs2024Identity, FlightSimReader<kMsfs2020Identity, false>>};

}  // namespace tarvelmond
