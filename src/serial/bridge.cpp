#include "serial/bridge.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/scheduling.h"
#include "platform/shared_memory.h"
#include "serial/link_state.h"
#include "serial/port_discovery.h"
#include "serial/send_drain.h"
#include "serial/serial_port.h"

namespace tarvelmond {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kControllerBaud = 250000;
constexpr std::size_t kHostBlockSize = 512;
constexpr int kMaxReadsPerPass = 64;
constexpr auto kDriverBacklogPoll = std::chrono::microseconds(100);

void openHostBlock(platform::SharedMemory& block, const char* name) {
    if (!block.createOrOpen(name, kHostBlockSize, platform::ViewAccess::ReadWrite)) {
        std::printf("Could not map view of file (%d).\n", static_cast<int>(platform::lastSystemError()));
        std::fflush(stdout);
    }
}

double elapsedUs(const FrameTimer& timer) {
    return static_cast<double>(platform::performanceCounter() - timer.last) / timer.ticksPerUs;
}

class BridgeLoop {
  public:
    BridgeLoop(LinkState& state, ControllerLine& line)
        : state_(state), line_(line), drain_(kControllerBaud) {}

    // Passes until bridgeRunning is cleared.
    void run() {
        state_.bridgeStopped.store(false);
        state_.interfaceRunning.store(true);
        state_.bridgeTimer.legacyPacing = FrameTimer::legacyPacingRequested();
        state_.bridgeTimer.tick();
        while (state_.bridgeRunning.load())
            pass();
    }

  private:
    void pass() {
        if (!state_.interfaceRunning.load() || state_.udpControllerPresent.load()) {
            drain_.newConnection();  // a pause closes the port
            sleepFor(std::chrono::milliseconds(100));
            return;
        }
        if (!state_.portConnected.load()) {
            releaseLink(state_, LinkOwner::Serial);
            motionWaiting_ = false;
            drain_.newConnection();
            if (state_.autoConnectEnabled.load()) {
                scanPorts();
            } else {
                sleepFor(std::chrono::milliseconds(2));  // resumeInterface connects; check again shortly
            }
            return;
        }
        serveSendQueue();
        if (!state_.portConnected.load()) return;  // lost during the drain, or paused meanwhile
        drain_.sendAutomatic(state_, line_);
        bool found = false;
        try {
            readController(found);
        } catch (const CSerialException& failure) {
            std::printf(" Serial Exception Error: %u \n", static_cast<unsigned>(failure.m_dwError));
            std::fflush(stdout);
            state_.portConnected.store(false);
            line_.close();
            return;
        }
        if (extractControllerFrames(state_.serialReceiveBuffer, state_.serialReceiveQueue) > 0 || found) {
            claimLink(state_, LinkOwner::Serial);  // refused while a UDP controller has the link
        }
        waitForNextPass();
    }

    void serveSendQueue() {
        servedPushes_ = state_.serialSendQueue.pushCount();
        motionWaiting_ =
            state_.portConnected.load() && drain_.drain(state_, line_) == SendDrain::Result::MotionWaiting;
    }

    // Reads everything waiting, in chunks that fit the receive buffer, cutting when it fills.
    void readController(bool& found) {
        ReceiveBuffer& buffer = state_.serialReceiveBuffer;
        for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
            const std::size_t waiting = line_.status().bytesToRead;
            if (waiting == 0) return;
            if (buffer.space() == 0) {
                found = extractControllerFrames(buffer, state_.serialReceiveQueue) > 0 || found;
                if (buffer.space() == 0) buffer.consume(1);  // cannot happen with frames <= 465 bytes
            }
            buffer.grew(line_.read(buffer.tail(), std::min(waiting, buffer.space())));
        }
    }

    bool sendWorkReady() const {
        if (state_.serialSendQueue.pushCount() != servedPushes_) return true;
        return motionWaiting_ && Clock::now() >= drain_.wireReadyAt();
    }

    // The 2 ms pass: asleep until the period ends, woken at once by whatever the send queue receives
    // meanwhile, which goes out at once, or as soon as the wire can take it; a motion frame does not
    // wait for the next pass, and the wait costs no CPU.
    void waitForNextPass() {
        FrameTimer& timer = state_.bridgeTimer;
        if (timer.legacyPacing) {
            waitForNextPassSpinning();
            return;
        }
        serveSendQueueUntil(timer.periodEnd());
        timer.closePeriod();
    }

    // The old pacing, kept for comparisons (TARVELMOND_PACING=legacy): a 1 ms sleep early in the
    // period that a push cuts short, then a spin to 2000 us that serves the queue as it fills.
    void waitForNextPassSpinning() {
        FrameTimer& timer = state_.bridgeTimer;
        double e = elapsedUs(timer);
        if (e > 0.0 && e < 1000.0) serveSendQueueUntil(Clock::now() + std::chrono::milliseconds(1));
        for (e = elapsedUs(timer); e <= 2000.0; e = elapsedUs(timer)) {
            if (sendWorkReady()) serveSendQueue();
        }
        timer.tick();
        timer.lastIntervalUs = e;
    }

    // Until `until`, asleep except to send what the queue receives, and a waiting motion frame once
    // the wire can take it. When the line's model says the wire is free but the driver still counts
    // unsent bytes, nothing signals when they are gone: the frame is tried again every
    // kDriverBacklogPoll rather than in a busy loop.
    void serveSendQueueUntil(Clock::time_point until) {
        for (auto now = Clock::now(); now < until; now = Clock::now()) {
            if (sendWorkReady()) serveSendQueue();
            auto wake = until;
            if (motionWaiting_) {
                wake = std::min(wake, std::max(drain_.wireReadyAt(), Clock::now() + kDriverBacklogPoll));
            }
            state_.serialSendQueue.waitForPush(servedPushes_, wake);
        }
        if (sendWorkReady()) serveSendQueue();
    }

    LinkState& state_;
    ControllerLine& line_;  // the controller's port
    SendDrain drain_;
    std::uint64_t servedPushes_ = 0;
    bool motionWaiting_ = false;
};

}  // namespace

int runBridge() {
    LinkState& state = link();
    using Phase = LinkState::BridgePhase;
    {
        std::unique_lock lock(state.bridgeControl);
        ++state.bridgeStarts;
        state.bridgeRunning.store(true);
        state.bridgeChanged.notify_all();  // a stop still waiting gives way to this later start
        // A loop that is closing ends first; a stop issued meanwhile makes this start void.
        state.bridgeChanged.wait(lock, [&] { return state.bridgePhase != Phase::Ending; });
        if (!state.bridgeRunning.load()) return 1;
        // A stop before this start may have told the port to give up its waits; the loop, running on
        // or about to, needs them again.
        serialPort().allowWaits();
        if (state.bridgePhase == Phase::Running) return 1;
        state.bridgePhase = Phase::Running;
        state.bridgeActive.store(true);
    }
    platform::requestFineTimerResolution();
    platform::raiseToRealtimePriority();
    {
        platform::SharedMemory tx;
        platform::SharedMemory rx;
        openHostBlock(tx, "Tarvelmond_tx");
        openHostBlock(rx, "Tarvelmond_rx");
        // A start that came after the stop that ended the passes keeps the loop going.
        for (bool ending = false; !ending;) {
            BridgeLoop(state, serialPort()).run();
            std::lock_guard lock(state.bridgeControl);
            ending = !state.bridgeRunning.load();
            if (ending) state.bridgePhase = Phase::Ending;
        }
        closePort();
    }
    std::lock_guard lock(state.bridgeControl);
    serialPort().allowWaits();  // what the stop cut short has ended; a host may open the port itself now
    state.bridgePhase = Phase::Idle;
    state.bridgeActive.store(false);
    state.bridgeStopped.store(true);
    state.bridgeChanged.notify_all();
    return 1;
}

void stopBridge() {
    while (!stopBridgeWithin(std::chrono::hours(1))) {
    }
}

bool stopBridgeWithin(std::chrono::milliseconds limit) {
    LinkState& state = link();
    const auto deadline = Clock::now() + limit;
    std::unique_lock lock(state.bridgeControl);
    const std::uint64_t startsBefore = state.bridgeStarts;
    const std::uint64_t udpStartsBefore = state.udpStarts;
    state.bridgeRunning.store(false);
    state.udpListener.running.store(false);
    state.udpSender.running.store(false);
    // A write waiting on a controller that has stopped reading would hold the loop for the port's
    // whole write time-out.
    if (state.bridgePhase != LinkState::BridgePhase::Idle) serialPort().abandonWaits();
    state.bridgeChanged.notify_all();
    // Waits for every loop to end, unless a start issued after this stop takes over. The wait looks
    // again every millisecond as well, since the loops' flags change without the mutex too.
    const auto loopsActive = [&] {
        return state.bridgePhase != LinkState::BridgePhase::Idle || state.udpListener.active.load() ||
               state.udpSender.active.load();
    };
    while (state.bridgeStarts == startsBefore && state.udpStarts == udpStartsBefore && loopsActive()) {
        if (Clock::now() >= deadline) return false;
        state.bridgeChanged.wait_for(lock, std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tarvelmond
