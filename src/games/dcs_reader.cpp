// DCS World: one line of space-separated numbers per datagram, read from the front.
#include "games/dcs_reader.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "basics/frame_timer.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/text_number.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

constexpr int kNumbers = 25;
constexpr std::size_t kShortestToken = 6;

// One number off the front of `text`. A token shorter than six characters (or no token at all) reads
// as 0 and consumes nothing, so every later number of the datagram is 0 too. A token that is not a
// number is consumed and reads as absent: its channel keeps its last value.
std::optional<double> nextNumber(std::string_view& text) {
    std::size_t tokenLength = text.find(' ');
    if (tokenLength == std::string_view::npos) {
        tokenLength = 0;
        while (tokenLength < text.size() && text[tokenLength] >= 32 && text[tokenLength] <= 59)
            ++tokenLength;
        if (tokenLength == text.size()) return 0.0;  // also the empty text
    }
    if (tokenLength < kShortestToken) return 0.0;
    const std::optional<double> number = leadingNumber<double>(text.substr(0, tokenLength));
    text.remove_prefix(std::min(tokenLength + 1, text.size()));
    return number;
}

void store(TelemetryRecord& record, Channel channel, std::optional<double> value, double factor = 1.0) {
    if (value) record.set(channel, *value * factor);
}

}  // namespace

void parseDcsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    std::string_view text(reinterpret_cast<const char*>(datagram.data()), datagram.size());
    std::array<std::optional<double>, kNumbers + 1> n{};  // n[1] .. n[25]
    for (int i = 1; i <= kNumbers; ++i)
        n[static_cast<std::size_t>(i)] = nextNumber(text);

    store(record, Channel::longitu_accel_g, n[1], kGravity);
    store(record, Channel::lateral_accel_g, n[2], kGravity);
    store(record, Channel::vertica_accel_g, n[3], kGravity);
    store(record, Channel::lateral_speed, n[4]);
    store(record, Channel::longitu_speed, n[5]);
    store(record, Channel::vertica_speed, n[6]);
    store(record, Channel::yaw_speed, n[7], kRadToDeg);
    store(record, Channel::roll_speed, n[8], kRadToDeg);
    store(record, Channel::pitch_speed, n[9], kRadToDeg);
    store(record, Channel::yaw_position, n[10], kRadToDeg);
    store(record, Channel::roll_position, n[11], kRadToDeg);
    store(record, Channel::pitch_position, n[12], kRadToDeg);
    store(record, Channel::fr_lft_susp_pos, n[14]);
    store(record, Channel::re_lft_susp_pos, n[16]);
    if (n[25]) {
        const double t = *n[25];
        record.setSimStepMs((t - record.simTimePrev) * 1000.0);
        record.setSimTimePrev(t);
    }
}

int readDcs(UdpPort& port, const ReaderContext& context) {
    // Each datagram is a whole frame: the newest one waiting is all that matters.
    const auto datagram = port.receiveNewestDatagram(kDcsMinimum, kMostDatagramsPerRead);
    if (datagram.empty()) return 0;
    updateFrameTime(context.timer, context.record);
    parseDcsDatagram(datagram, context.record);
    applyGravitySplit(context.record, GravityMode::WithGravity);
    return 1;
}

namespace {

constexpr const char* kProcesses[] = {"DCS.exe", "DCS64.exe"};
constexpr GameIdentity kIdentity{kDcs, "DCS", 4124, {}, kProcesses};

}  // namespace

extern const GameEntry kDcsGame;
const GameEntry kDcsGame{kIdentity, makeReader<kIdentity, UdpReaderOf<readDcs>>};

}  // namespace tarvelmond
