#pragma once
#include <tarvelmond.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/frame_timer.h"
#include "engine/snapshot_history.h"
#include "games/game_source.h"
#include "motion/evaluation_gate.h"
#include "motion/motion_profile.h"
#include "motion/output_stage_pose.h"

namespace tarvelmond {

// {min, max} of one channel; written by host setters, read by the game-source thread.
struct DofLimit {
    std::atomic<double> min{0.0};
    std::atomic<double> max{0.0};
};

using CueArray = std::array<double, kDofChannels>;

inline constexpr int kAirProfile = 0;
inline constexpr int kGroundProfile = 1;
inline constexpr std::size_t kOutputFrameSize = 36;

// All state of the motion pipeline. The host reaches it only through the exported functions.
struct MotionEngine {
    MotionEngine();
    ~MotionEngine();  // stops the game-source thread first
    MotionEngine(const MotionEngine&) = delete;
    MotionEngine& operator=(const MotionEngine&) = delete;

    // Profile 0 (AIR) or 1 (GROUND); null for any other index.
    MotionProfile* hostProfile(int index);

    // First, so that it is built first and destroyed last.
    WindSerial windSerial;
    // Histories for the host's graphs; positionSnapshot is the latest position record.
    SnapshotHistory<kDofChannels> calculationHistory;
    CueArray positionSnapshot{};
    SnapshotHistory<kGameDataSlots> accelerationHistory;

    std::atomic<bool> connected{false};
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{true};
    std::atomic<bool> outputBlocked{true};
    std::atomic<bool> motionSystemReady{false};
    std::atomic<bool> motionCancelActive{false};

    FrameTimer loopTimer;
    GameSource gameSource;

    CueArray finalCues{};
    CueArray previousGameData{};
    CueArray heldCues{};
    CueArray airStage{};
    CueArray groundStage{};

    // Motion cancel (output stage).
    std::array<double, 6> poseRaw{};
    PoseBlock poseBlock;
    std::array<double, 6> poseInput{};
    std::array<double, 6> poseFiltered{};
    std::atomic<double> poseFilter{60.0};
    std::atomic<double> poseGain{1.0};
    std::vector<std::uint8_t> windByte = std::vector<std::uint8_t>(1);  // handed to windSerial each tick

    std::array<MotionProfile, 3> profiles{MotionProfile{"Profil AIR"}, MotionProfile{"Profil GROUND"},
                                          MotionProfile{"Transition"}};
    std::array<DofLimit, kDofChannels> rigLimits;
    std::array<DofLimit, kDofChannels> inputLimits;

    std::atomic<double> outputFade{1.0};
    double outputFadeMs = 4000.0;
    // A host asked for a hold that the game-source thread has not carried out yet.
    std::atomic<bool> holdRequested{false};

    bool inTransition = false;
    std::atomic<std::int32_t> activeProfile{0};
    std::atomic<double> airWeight{1.0};
    std::atomic<double> groundWeight{0.0};
    double transitionTicks = 200.0;

    std::int32_t noDataCount = 0;
    std::int32_t staleCount = 0;

    std::array<std::uint8_t, kOutputFrameSize> outputFrame{};

    EvaluationGate evaluationGate;

    // The game-source thread; start and stop calls from host threads take turns on threadControl,
    // which the thread itself never takes.
    std::thread gameSourceThread;
    std::mutex threadControl;
    std::atomic<std::thread::id> gameSourceThreadId;  // while its body runs
};

// The process-wide engine, created by the first call from any thread (engine/process_state.h).
MotionEngine& engine();

}  // namespace tarvelmond
