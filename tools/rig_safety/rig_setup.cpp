#include "rig_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace tarvelmond::rig_safety {
namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

double gain(SeededRandom& random) {
    return random.sign() * random.uniform(0.3, 1.5);
}

// A memoryless chain of one of several forms; its bound over the channel's clamped input.
Chain randomChain(SeededRandom& random, double low, double high) {
    const double reach = std::max(std::abs(low), std::abs(high));
    const double g = gain(random);
    switch (random.between(0, 4)) {
        case 0:
            return {"GAIN(VALUE;" + number(g) + ")", std::abs(g) * reach};
        case 1:
            return {"MUL(VALUE;" + number(g) + ")", std::abs(g) * reach};
        case 2: {
            const double to1 = random.uniform(-reach, reach);
            const double to2 = random.uniform(-reach, reach);
            return {"REMAP(VALUE;" + number(low) + ";" + number(high) + ";" + number(to1) + ";" +
                        number(to2) + ")",
                    std::max(std::abs(to1), std::abs(to2)) + 0.01};
        }
        case 3: {
            const double crop = random.uniform(0.3, 1.0) * std::abs(g) * reach;
            return {"CROP(GAIN(VALUE;" + number(g) + ");" + number(-crop) + ";" + number(crop) + ")",
                    crop + 0.01};
        }
        default:
            return {"ABS(GAIN(VALUE;" + number(g) + "))", std::abs(g) * reach};
    }
}

double fullReach(const RigSetup& rig, int axis) {
    double reach = 0.0;
    for (int channel : channelsOfAxis(axis)) {
        if (channel >= kMotionChannels) continue;
        const auto& chains = rig.motion[static_cast<std::size_t>(channel)].chains;
        double widest = 0.0;
        for (const Chain& chain : chains)
            widest = std::max(widest, chain.bound);
        reach += widest;
    }
    for (const Effect& effect : rig.effects)
        if (effect.channel - 15 == axis) reach += std::abs(effect.amplitude);
    return reach;
}

}  // namespace

const std::vector<int>& channelsOfAxis(int axis) {
    // Roll and pitch also take the tilt channels (6, 7) and the angle channels (8, 9; kept off here:
    // their input is not clamped, so their reach would be the game's).
    static const std::array<std::vector<int>, kAxes> channels = {
        {{0, 15}, {1, 16}, {2, 17}, {3, 18}, {6, 4, 8, 19}, {7, 5, 9, 20}}};
    return channels[static_cast<std::size_t>(axis)];
}

std::string effectChain(const Effect& effect) {
    return "SINUS(VALUE;" + number(effect.amplitude) + ";" + number(effect.hz) + ")";
}

RigSetup randomRigSetup(SeededRandom& random) {
    RigSetup rig;
    for (MotionChannel& channel : rig.motion) {
        channel.inputMin = -random.uniform(3.0, 15.0);
        channel.inputMax = random.uniform(3.0, 15.0);
        const int variants = random.between(2, 4);
        for (int i = 0; i < variants; ++i)
            channel.chains.push_back(randomChain(random, channel.inputMin, channel.inputMax));
    }
    const int effects = random.between(0, 2);
    for (int i = 0; i < effects; ++i) {
        rig.effects.push_back(
            {15 + random.between(0, 5), random.uniform(0.2, 2.0), random.uniform(0.1, 1.5)});
    }
    for (int axis = 0; axis < kAxes; ++axis) {
        // Sometimes inside what the cues reach, so that the clamp works too.
        rig.rigLimit[static_cast<std::size_t>(axis)] =
            std::max(0.5, fullReach(rig, axis) * random.uniform(0.5, 1.3));
    }
    SceneValues& scene = rig.scene;
    scene.lateralG = random.sign() * random.uniform(0.2, 1.2);
    scene.longitudinalG = random.sign() * random.uniform(0.1, 0.8);
    scene.verticalG = random.uniform(-0.3, 0.3);
    scene.pitch = random.sign() * random.uniform(0.02, 0.2);
    scene.roll = random.sign() * random.uniform(0.02, 0.2);
    scene.pitchRate = random.sign() * random.uniform(0.02, 0.3);
    scene.rollRate = random.sign() * random.uniform(0.02, 0.3);
    scene.yawRate = random.sign() * random.uniform(0.02, 0.3);
    scene.speed = random.uniform(10.0, 60.0);
    return rig;
}

test::SafetyMonitor::Axes envelopeOf(const RigSetup& rig, const RigSetup* previous) {
    test::SafetyMonitor::Axes axes;
    for (int axis = 0; axis < kAxes; ++axis) {
        const double reach = fullReach(rig, axis);
        const double before = previous != nullptr ? fullReach(*previous, axis) : 0.0;
        double rate = 0.0;
        for (const Effect& effect : rig.effects) {
            // A sine's phase moves hz x 2 ms per tick, and ticks are 2 ms apart; a quarter more for
            // coarse pacing, whose ticks come a little early or late around their mean.
            if (effect.channel - 15 == axis)
                rate += 1.25 * 2.0 * std::numbers::pi * effect.hz * effect.amplitude / 1000.0;
        }
        const double limit = rig.rigLimit[static_cast<std::size_t>(axis)];
        axes[static_cast<std::size_t>(axis)] = {static_cast<float>(-limit), static_cast<float>(limit),
                                                reach + std::max(reach, before), rate};
    }
    return axes;
}

}  // namespace tarvelmond::rig_safety
