// Condor 2: lines of key=value text, one set per datagram. The game writes its keys in lower case but
// "MC" in upper case, and other senders of the same text vary the case, so keys match whatever their case.
#include "games/condor_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "basics/frame_timer.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/text_number.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"
#include "platform/text_case.h"

namespace tarvelmond {
namespace {

enum Key : std::size_t {
    kTime,
    kSlipball,
    kAltitude,
    kVario,
    kEvario,
    kNettovario,
    kIntegrator,
    kCompass,
    kTurnrate,
    kYawstringangle,
    kRadiofrequency,
    kYaw,
    kPitch,
    kBank,
    kQuaternionx,
    kQuaterniony,
    kQuaternionz,
    kAx,
    kAy,
    kAz,
    kVx,
    kVy,
    kVz,
    kRollrate,
    kPitchrate,
    kYawrate,
    kGforce,
    kHeight,
    kWheelheight,
    kTurbulencestrength,
    kSurfaceroughness,
    kMc,
    kWater,
};

constexpr std::array<const char*, CondorState::kFloatKeys> kFloatKeys = {
    "time",
    "slipball",
    "altitude",
    "vario",
    "evario",
    "nettovario",
    "integrator",
    "compass",
    "turnrate",
    "yawstringangle",
    "radiofrequency",
    "yaw",
    "pitch",
    "bank",
    "quaternionx",
    "quaterniony",
    "quaternionz",
    "ax",
    "ay",
    "az",
    "vx",
    "vy",
    "vz",
    "rollrate",
    "pitchrate",
    "yawrate",
    "gforce",
    "height",
    "wheelheight",
    "turbulencestrength",
    "surfaceroughness",
    "mc",
    "water",
};

void storeValue(CondorState& state, std::string_view key, std::string_view valueText) {
    if (sameIgnoringCase(key, "hudmessages")) {
        state.hudLength = std::min(valueText.size(), state.hudMessages.size());
        std::memcpy(state.hudMessages.data(), valueText.data(), state.hudLength);
        return;
    }
    const float value = leadingNumber<float>(valueText).value_or(0.0f);
    if (sameIgnoringCase(key, "flaps")) {
        // Truncated toward zero; a value no integer can hold leaves the setting as it was.
        if (std::isfinite(value) &&
            std::fabs(value) < static_cast<float>(std::numeric_limits<std::int32_t>::max())) {
            state.flaps = static_cast<std::int32_t>(value);
        }
        return;
    }
    for (std::size_t i = 0; i < kFloatKeys.size(); ++i) {
        if (sameIgnoringCase(key, kFloatKeys[i])) {
            state.values[i] = value;
            return;
        }
    }
}

}  // namespace

const std::array<const char*, CondorState::kFloatKeys>& condorFloatKeys() {
    return kFloatKeys;
}

void parseCondorDatagram(std::span<const std::uint8_t> datagram, CondorState& state) {
    std::string_view text(reinterpret_cast<const char*>(datagram.data()), datagram.size());
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        // The game ends its lines with CR LF; the CR belongs to no value.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        storeValue(state, line.substr(0, equals), line.substr(equals + 1));
    }
}

void fillCondorRecord(const CondorState& state, TelemetryRecord& record) {
    const auto value = [&](Key key) { return static_cast<double>(state.values[key]); };
    record.set(Channel::pitch_position, value(kPitch) * kRadToDeg);
    record.set(Channel::roll_position, -value(kBank) * kRadToDeg);
    record.set(Channel::yaw_position, value(kYaw) * kRadToDeg - 180.0);
    record.set(Channel::lateral_accel, value(kAx));
    record.set(Channel::longitu_accel, value(kAy));
    record.set(Channel::vertica_accel, value(kAz));
    record.set(Channel::lateral_speed, value(kVx));
    record.set(Channel::longitu_speed, value(kVy));
    record.set(Channel::vertica_speed, value(kVz));
    record.set(Channel::roll_speed, value(kRollrate) * kRadToDeg);
    record.set(Channel::pitch_speed, value(kPitchrate) * kRadToDeg);
    record.set(Channel::yaw_speed, value(kYawrate) * kRadToDeg);
}

int readCondor(UdpPort& port, const ReaderContext& context, CondorState& state) {
    // Each datagram is a whole frame: the newest one waiting is all that matters.
    const auto datagram = port.receiveNewestDatagram(kCondorMinimum, kMostDatagramsPerRead);
    if (datagram.empty()) return 0;
    updateFrameTime(context.timer, context.record);
    parseCondorDatagram(datagram, state);
    fillCondorRecord(state, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr GameIdentity kIdentity{kCondor2, "Condor2", 55278};

}  // namespace

extern const GameEntry kCondor2Game;
const GameEntry kCondor2Game{kIdentity, makeReader<kIdentity, UdpReaderWithState<CondorState, readCondor>>};

}  // namespace tarvelmond
