// NoLimits 2: a telemetry request per call; the newest reply gives the frame number, speed, the
// orientation quaternion and the accelerations in g. Rates come from the change of orientation,
// velocities from the filtered accelerations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/nolimits_link.h"
#include "games/reader_context.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr double kR = 57.29577951308232;
constexpr std::uint32_t kTelemetryRequestNumber = 3243;

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quaternion conjugate(const Quaternion& q) {
    return {q.w, -q.x, -q.y, -q.z};
}

double norm(const Quaternion& q) {
    return std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
}

Quaternion normalised(const Quaternion& q) {
    const double n = norm(q);
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

bool usable(const Quaternion& q) {
    return std::isfinite(q.w) && std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) &&
           norm(q) > 1e-9;
}

void updateRates(NoLimitsState& state, const Quaternion& current, TelemetryRecord& record) {
    if (!usable(state.previous)) return;  // first reply: nothing to compare with yet
    Quaternion q = normalised(multiply(current, conjugate(normalised(state.previous))));
    // q and -q are the same rotation; take the short way so a sign flip of the stream is no jump.
    if (q.w < 0.0) q = {-q.w, -q.x, -q.y, -q.z};
    const double w = std::clamp(q.w, -1.0, 1.0);
    const double angle = 2.0 * std::acos(w);
    record.set(Channel::fr_lft_susp_pos, angle);
    if (std::fabs(angle) >= 1e-5 && std::fabs(angle) <= std::numbers::pi / 4.0) {
        const double s = std::sqrt(1.0 - w * w);
        double axis[3] = {q.x, q.y, q.z};
        if (s >= 1e-5) {
            for (double& component : axis)
                component /= s;
        }
        const double rate = angle / 0.01;
        for (std::size_t i = 0; i < 3; ++i) {
            double& f = state.filteredRate[i];
            f = f + (rate * axis[i] - f) * 0.99;
            f = 0.98 * f;
        }
    }
    record.set(Channel::roll_speed, state.filteredRate[0] * kR);
    record.set(Channel::pitch_speed, state.filteredRate[1] * kR);
    record.set(Channel::yaw_speed, state.filteredRate[2] * kR);
}

void integrateVelocities(NoLimitsState& state, TelemetryRecord& record) {
    constexpr Channel accels[] = {Channel::lateral_accel, Channel::longitu_accel, Channel::vertica_accel};
    constexpr Channel speeds[] = {Channel::lateral_speed, Channel::longitu_speed, Channel::vertica_speed};
    const double dt = record.frameTimeMs / 1000.0;
    for (std::size_t i = 0; i < 3; ++i) {
        double& a = state.filteredAccel[i];
        double& u = state.velocity[i];
        int& n = state.stillCount[i];
        a = a + (record.get(accels[i]) - a) * 0.1;
        double speed = a * dt + u;
        u = speed * 0.999;
        n = std::fabs(a) < 0.2 ? n + 1 : 0;
        if (n > 50 && std::fabs(u) < 0.1) {
            u = 0.0;
            speed = 0.0;
        }
        record.set(speeds[i], speed);
    }
}

}  // namespace

int applyNoLimitsTelemetry(std::span<const std::uint8_t> data, NoLimitsState& state,
                           TelemetryRecord& record) {
    const ByteView words(data);
    if (!words.has(0, kNoLimitsTelemetrySize)) return 0;
    const auto telemetryState = static_cast<std::int32_t>(words.u32be(0).value_or(0));
    const auto frame = static_cast<std::int32_t>(words.u32be(4).value_or(0));
    const double speed = words.f32be(32);
    const Quaternion current{words.f32be(60), words.f32be(48), words.f32be(52), words.f32be(56)};
    const double gx = words.f32be(64);
    const double gy = words.f32be(68);
    const double gz = words.f32be(72);
    state.lastState = telemetryState;
    if (telemetryState == 0) return 0;
    if (state.haveFrame && frame == state.lastFrame) return 0;
    // A reply whose orientation or accelerations are not numbers would poison the filters for good.
    if (!usable(current) || !std::isfinite(gx) || !std::isfinite(gy) || !std::isfinite(gz)) return 0;
    state.lastFrame = frame;
    state.haveFrame = true;
    record.set(Channel::ldg_gear, frame);
    record.set(Channel::speed, speed);

    const Quaternion c = normalised(current);
    record.set(Channel::roll_position, std::asin(std::clamp(2.0 * (c.w * c.z + c.y * c.x), -1.0, 1.0)) * kR);
    record.set(Channel::pitch_position,
               std::atan2(2.0 * (c.x * c.w - c.y * c.z), 1.0 - 2.0 * (c.x * c.x + c.z * c.z)) * kR);
    record.set(Channel::yaw_position,
               std::atan2(2.0 * (c.y * c.w - c.z * c.x), 1.0 - 2.0 * (c.y * c.y + c.z * c.z)) * kR);
    updateRates(state, c, record);
    state.previous = c;

    record.set(Channel::lateral_accel_g, -gx * kGravity);
    record.set(Channel::longitu_accel_g, gz * kGravity);
    record.set(Channel::vertica_accel_g, gy * kGravity);
    const Quaternion v = multiply(multiply(c, {0.0, 0.0, 0.0, kGravity}), conjugate(c));
    record.set(Channel::longitu_gravi, -v.x);
    record.set(Channel::lateral_gravi, v.y);
    record.set(Channel::vertica_gravi, v.z);
    record.set(Channel::lateral_accel,
               record.get(Channel::lateral_accel_g) - record.get(Channel::lateral_gravi));
    record.set(Channel::longitu_accel,
               record.get(Channel::longitu_accel_g) - record.get(Channel::longitu_gravi));
    record.set(Channel::vertica_accel,
               record.get(Channel::vertica_accel_g) - record.get(Channel::vertica_gravi));
    integrateVelocities(state, record);
    return 1;
}

int readNoLimits(NoLimitsState& state, const ReaderContext& context) {
    if (!state.connected) return 0;
    const auto request = noLimitsRequest(kNoLimitsGetTelemetry, kTelemetryRequestNumber);
    if (state.socket.send(request) < 0) std::perror("Error sending data");
    if (state.socket.waitReadable(0) != 1) return 0;

    const std::size_t room =
        std::min(NoLimitsState::kReceiveChunk, state.pending.size() - state.pendingLength);
    const int received = state.socket.receive(std::span(state.pending).subspan(state.pendingLength, room));
    if (received > 0) state.pendingLength += static_cast<std::size_t>(received);
    if (received < 2) return 0;
    updateFrameTime(context.timer, context.record);

    std::size_t consumed = 0;
    const auto bytes = std::span<const std::uint8_t>(state.pending.data(), state.pendingLength);
    const auto telemetry = newestNoLimitsTelemetry(bytes, consumed);
    int result = 0;
    if (!telemetry.empty()) result = applyNoLimitsTelemetry(telemetry, state, context.record);
    // Keep an incomplete reply for the next call; a buffer full of undecodable bytes is dropped.
    if (consumed == 0 && state.pendingLength == state.pending.size()) consumed = state.pendingLength;
    std::memmove(state.pending.data(), state.pending.data() + consumed, state.pendingLength - consumed);
    state.pendingLength -= consumed;
    return result;
}

namespace {

constexpr GameIdentity kIdentity{kNoLimits2, "NoLimits2"};

// Found by the answer of its telemetry server; read over one TCP connection.
class NoLimitsReader final : public GameReader {
  public:
    NoLimitsReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override { return noLimitsHandshake(); }
    int connect() override { return connectNoLimits(state_); }
    int read(const ReaderContext& context) override { return readNoLimits(state_, context); }
    void disconnect() override { disconnectNoLimits(state_); }
    bool holdsChannel() const override { return state_.socket.valid(); }

  private:
    NoLimitsState state_;
};

}  // namespace

extern const GameEntry kNoLimits2Game;
const GameEntry kNoLimits2Game{kIdentity, makeReader<kIdentity, NoLimitsReader>};

}  // namespace tarvelmond
