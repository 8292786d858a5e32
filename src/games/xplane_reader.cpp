// X-Plane: data-group datagrams, a 5-byte header and records of a 32-bit group index and eight floats.
#include "games/xplane_reader.h"

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

constexpr std::size_t kHeader = 5;
constexpr std::size_t kRecord = 36;

}  // namespace

void parseXplaneDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                         std::uint32_t& onGround) {
    const ByteView bytes(datagram);
    if (bytes.size() < kHeader) return;
    const std::size_t records = (bytes.size() - kHeader) / kRecord;
    for (std::size_t k = 0; k < records; ++k) {
        const std::size_t base = kHeader + kRecord * k;
        const auto value = [&](std::size_t i) { return static_cast<double>(bytes.f32le(base + 4 + 4 * i)); };
        switch (bytes.u8(base).value_or(0)) {  // only the low byte of the index names the group
            case 3:
                record.set(Channel::speed, value(7));
                break;
            case 17:
            case 127:
                record.set(Channel::pitch_position, value(0));
                record.set(Channel::roll_position, value(1));
                record.set(Channel::yaw_position, -value(2));
                break;
            case 66:
                record.set(Channel::fr_lft_susp_pos, value(0));
                record.set(Channel::fr_rgt_susp_pos, value(0));
                record.set(Channel::re_rgt_susp_pos, value(1));
                record.set(Channel::re_lft_susp_pos, value(2));
                onGround = value(0) > 0.0 && value(1) > 0.0 && value(2) > 0.0 ? 1 : 0;
                break;
            case 135:
                record.set(Channel::lateral_accel_g, value(0));
                record.set(Channel::longitu_accel_g, -value(2));
                record.set(Channel::vertica_accel_g, value(1) / 10.0);
                record.set(Channel::roll_speed, value(3));
                record.set(Channel::pitch_speed, value(4));
                record.set(Channel::yaw_speed, -value(5));
                break;
            default:
                break;
        }
    }
}

int readXplane(UdpPort& port, const ReaderContext& context) {
    const auto datagram = port.receiveDatagram();
    if (datagram.size() < kXplaneMinimum) return 0;
    updateFrameTime(context.timer, context.record);
    // Every waiting datagram, oldest first: the newest values win, and groups that came in datagrams
    // of their own are kept.
    takeWaitingDatagrams(port, datagram, kXplaneMinimum, [&](std::span<const std::uint8_t> d) {
        parseXplaneDatagram(d, context.record, context.onGround);
    });
    applyGravitySplit(context.record, GravityMode::WithGravity);
    return 1;
}

namespace {

constexpr GameIdentity kIdentity{kXplane, "Xplane", 4321};

}  // namespace

extern const GameEntry kXplaneGame;
const GameEntry kXplaneGame{kIdentity, makeReader<kIdentity, UdpReaderOf<readXplane>>};

}  // namespace tarvelmond
