#include "engine/game_source_thread.h"

#include <chrono>
#include <system_error>

#include "engine/motion_engine.h"
#include "engine/motion_tick.h"
#include "motion/output_stage.h"
#include "motion/transition.h"
#include "platform/scheduling.h"

namespace tarvelmond {
namespace {

constexpr std::int32_t kMostMissedFrames = 1000;
constexpr std::int32_t kFrozenHold = 250;
constexpr std::int32_t kFrozenDrop = 5000;
constexpr auto kOneMs = std::chrono::milliseconds(1);

// Waits for the next tick; true when the wait slept to its deadline, so that the thread has let the
// others run in this period.
bool pace(FrameTimer& timer) {
    if (timer.preciseMode.load(std::memory_order_relaxed) != 0) return timer.waitNextTick();
    timer.waitNextTickCoarse();
    return false;
}

// Whether the tick just paced is followed by the 1 ms rest that lets every other thread run, however
// late the ticks come. Coarse and the old pacing rest after every tick. With the deadline pacing a
// period that slept, to its deadline or in the rest it began with, has had its rest: one more would
// only push the next read on, and a late tick would be followed by periods that each begin with a rest
// and so never sleep to their deadline (where a 1 ms sleep can last 2 ms, each of them risks running
// long). So the loop sleeps at least once in every two periods.
bool restFollows(const FrameTimer& timer, bool slept, bool periodBeganWithRest) {
    if (timer.preciseMode.load(std::memory_order_relaxed) == 0 || timer.legacyPacing) return true;
    return !slept && !periodBeganWithRest;
}

// The frozen-data watchdog: true when the tick's work is to be skipped.
bool frozenDataTakesOver(MotionEngine& engine) {
    if (engine.staleCount <= kFrozenHold) return false;
    holdOutput(engine.fade, engine.cues);
    if (engine.staleCount <= kFrozenDrop) return false;
    // A paused flight simulator stands still for long; it keeps its connection while it is there.
    if (keepPausedSimulator(engine.gameSource, &engine.running)) {
        engine.staleCount = kFrozenHold;
    } else {
        resetGameSource(engine);
    }
    return true;
}

}  // namespace

void resetGameSource(MotionEngine& engine) {
    disconnectGame(engine.gameSource);
    // The pose block exists while the thread runs, whether or not motion cancel is active.
    openPoseBlock(engine.output);
    engine.connected.exchange(false);
    holdOutput(engine.fade, engine.cues);
    engine.outputBlocked.exchange(true);
    engine.noDataCount = 0;
    // A game that comes back starts with fresh data, not with the count that made it go.
    engine.staleCount = 0;
    engine.cues.airWeight.store(1.0);
    engine.cues.groundWeight.store(0.0);
    engine.cues.activeProfile.store(0);
    engine.output.windSerial.pause();
}

void gameSourceThreadMain(MotionEngine& engine, const TickObserver* observer) {
    engine.gameSourceThreadId.store(std::this_thread::get_id());
    platform::requestFineTimerResolution();
    platform::raiseToRealtimePriority();
    FrameTimer& timer = engine.loopTimer;
    GameSource& source = engine.gameSource;
    timer.preciseMode.store(1, std::memory_order_relaxed);
    timer.legacyPacing = FrameTimer::legacyPacingRequested();
    source.clearActiveFlags();
    resetGameSource(engine);
    source.clearActiveFlags();
    timer.tick();
    bool restedAtStart = false;  // the current period began with the rest after a tick

    while (engine.running.load()) {
        if (!engine.connected.load()) {
            if (detectGame(source, &engine.running) != 0 && connectGame(source) != 0) {
                engine.connected.exchange(true);
                timer.tick();
                engine.outputBlocked.exchange(false);
            }
            sleepFor(kOneMs);
            continue;
        }
        if (!engine.motionSystemReady.load()) {
            sleepFor(kOneMs);
            sleepFor(kOneMs);
            continue;
        }
        if (readGameFrame(source) == 1) {
            engine.noDataCount = 0;
        } else {
            ++engine.noDataCount;
        }
        if (frozenDataTakesOver(engine)) continue;
        if (engine.noDataCount > kMostMissedFrames) {
            resetGameSource(engine);
            continue;
        }
        runMotionTick(engine);
        const bool slept = pace(timer);
        if (observer != nullptr && observer->paced != nullptr) {
            observer->paced(observer->context,
                            timer.deltaTicks.load(std::memory_order_relaxed) / timer.ticksPerUs);
        }
        const bool restNow = restFollows(timer, slept, restedAtStart);
        if (restNow) sleepFor(kOneMs);
        restedAtStart = restNow;
    }

    engine.connected.exchange(false);
    engine.output.windSerial.stop();
    // Nothing stays open once the thread has ended: the game's channel and the client handles that
    // detection keeps.
    disconnectGame(source);
    releaseIdleChannels(source);
    engine.gameSourceThreadId.store(std::thread::id{});
}

void startGameSourceThread(MotionEngine& engine, const TickObserver* observer) {
    std::lock_guard lock(engine.threadControl);
    if (engine.running.load()) return;
    // A thread told to stop from its own observer ends without a join; it is joined here.
    if (engine.gameSourceThread.joinable()) engine.gameSourceThread.join();
    engine.running.exchange(true);
    engine.stopped.exchange(false);
    try {
        engine.gameSourceThread = std::thread(gameSourceThreadMain, std::ref(engine), observer);
    } catch (...) {
        engine.running.exchange(false);
        engine.stopped.exchange(true);
        throw;
    }
}

void stopGameSourceThread(MotionEngine& engine) {
    // On the thread itself the join below would wait for ever, and so would a stop that waited for
    // the lock a join elsewhere holds: ask the loop to end and say why it cannot be joined.
    if (engine.gameSourceThreadId.load() == std::this_thread::get_id()) {
        engine.running.exchange(false);
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    }
    // Clearing `running` under the lock that start takes: a start cannot revive the thread this stop
    // is about to join, and every start or stop takes effect whole, in the order they take the lock.
    std::lock_guard lock(engine.threadControl);
    engine.running.exchange(false);
    if (engine.gameSourceThread.joinable()) engine.gameSourceThread.join();
    // The rig stops where the last tick's frame has left it: frames still queued for the controller
    // would move it on after the stop has returned.
    if (engine.frameSink != nullptr) engine.frameSink->dropWaitingFrames();
    // A hold asked for while the thread ran that no tick carried out.
    takeRequestedHold(engine.fade, engine.cues);
    engine.stopped.exchange(true);
}

}  // namespace tarvelmond
