#include "scenario_session.h"

#include <cstdio>
#include <set>
#include <thread>

#include "scene_packets.h"

namespace tarvelmond::rig_safety {
namespace {

using namespace std::chrono_literals;
using Condition = Expectations::Condition;
constexpr int kAirProfile = 0;
constexpr int kWindBaud = 115200;

std::chrono::milliseconds millis(double ms) {
    return std::chrono::milliseconds(static_cast<long long>(ms));
}

// A controller that reads at the wire rate leaves what the library wrote in the port's buffer, draining
// at that rate (the library sends close to it): frames written just before a stop arrive up to a buffer's
// worth later. A library that went on sending would go on for longer.
constexpr double kWireBacklogMs = 400.0;
// A pseudo-terminal holds about 20 KB (20,672 bytes here): 574 frames, 827 ms at the wire rate.
constexpr double kFullPortAtWireRateMs = 850.0;

test::SafetyTiming forController(test::SafetyTiming timing, bool atWireRate) {
    if (atWireRate) {
        timing.flushMs += kWireBacklogMs;
        timing.portDrainMs = kFullPortAtWireRateMs;
    }
    return timing;
}

}  // namespace

ScenarioSession::ScenarioSession(Product& product, CallWatch& watch, const TimingProfile& timing,
                                 const ScenarioPlan& plan, const RigSetup* previous,
                                 std::uint8_t firstHostCommand)
    : product_(product),
      watch_(watch),
      timing_(timing),
      plan_(plan),
      origin_(Clock::now()),
      streams_{firstHostCommand, static_cast<std::uint8_t>(plan.hostStreams)},
      monitor_(envelopeOf(plan.rig, previous), forController(timing.monitor, plan.controllerAtWireRate),
               streams_, origin_),
      expectations_(monitor_, timing.startWithinMs, origin_) {}

ScenarioSession::~ScenarioSession() = default;

void ScenarioSession::setUpFailed(const std::string& what) {
    monitor_.report(Clock::now(), "set-up", what);
}

// Through the exports, while the game-source thread is stopped: limits, the first chain of every motion
// channel, the effects, the wind; every other channel off.
void ScenarioSession::setUpRig() {
    const RigSetup& rig = plan_.rig;
    std::set<int> used;
    for (int c = 0; c < kMotionChannels; ++c) {
        const MotionChannel& channel = rig.motion[static_cast<std::size_t>(c)];
        product_.inputLimit(c, channel.inputMin, channel.inputMax);
        if (product_.filter(kAirProfile, c, channel.chains.front().text.c_str()) != 1) {
            setUpFailed("the library refused " + channel.chains.front().text);
        }
        used.insert(c);
    }
    for (const Effect& effect : rig.effects) {
        if (product_.filter(kAirProfile, effect.channel, effectChain(effect).c_str()) != 1) {
            setUpFailed("the library refused " + effectChain(effect));
        }
        used.insert(effect.channel);
    }
    if (plan_.wind) {
        product_.filter(kAirProfile, kWindChannel, "GAIN(VALUE;1)");
        used.insert(kWindChannel);
        const auto port = utf16("COM" + std::to_string(devices_->windComNumber()));
        const auto mode = utf16("8N1");
        if (product_.initWind(port.c_str(), kWindBaud, mode.c_str(), plan_.windIntervalMs) != 1) {
            setUpFailed("initWindSerial refused the wind device's port");
        }
    }
    for (int c = 0; c < 23; ++c)
        product_.activeAxis(kAirProfile, c, used.count(c) != 0);
    for (int axis = 0; axis < kAxes; ++axis) {
        const double limit = rig.rigLimit[static_cast<std::size_t>(axis)];
        product_.rigLimit(axis, -limit, limit);
    }
    product_.timerPrecision(1);
}

ScenarioResult ScenarioSession::run() {
    witness_ = std::make_unique<StallWitness>(monitor_);
    devices_ = std::make_unique<RigDevices>(monitor_, plan_.controllerAtWireRate, plan_.controllerStatusMs,
                                            plan_.wind);
    if (!devices_->ready()) setUpFailed("the virtual controller or the wind device did not come up");
    game_ = std::make_unique<GamePlayer>(plan_.game, plan_.rig.scene, plan_.gamePeriodUs);
    setUpRig();
    bridge_ = std::make_unique<BridgeLender>(product_);
    calls_ = std::make_unique<HostCalls>(product_, watch_, monitor_, timing_.stopBoundMs);
    product_.autoconnect();
    bridge_->start();
    // The host waits for its controller before it lets the rig move.
    const auto connectBy = Clock::now() + 30s;
    while (product_.connected() != 1 && Clock::now() < connectBy)
        std::this_thread::sleep_for(5ms);
    if (product_.connected() != 1)
        setUpFailed("the library's scan did not connect the controller within 30 s");
    origin_ = Clock::now();
    monitor_.countTimesFrom(origin_);
    const auto started = Clock::now();
    monitor_.linkUp(started);
    expectations_.regain(Condition::Bridge, started, started);
    expectations_.regain(Condition::Controller, started, started);
    if (plan_.hostStreams > 0) {
        messages_ = std::make_unique<HostMessageStreams>(product_, monitor_, streams_, plan_.hostMessageGapMs,
                                                         plan_.seed);
    }
    probe_ = std::make_unique<TickRateProbe>(product_, monitor_);

    for (std::size_t i = 0; i < plan_.events.size(); ++i) {
        const Event& event = plan_.events[i];
        std::this_thread::sleep_until(
            origin_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(event.atS)));
        play(event, i);
    }
    std::this_thread::sleep_until(
        origin_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(plan_.endS)));
    finish();

    ScenarioResult result;
    result.seed = plan_.seed;
    result.game = gameName(plan_.game);
    result.frames = monitor_.framesChecked();
    result.longestGapMs = monitor_.longestGapMs();
    result.injected = injectedFaults(plan_);
    result.hostMessages = monitor_.hostMessagesArrived();
    result.violationCount = monitor_.violationCount();
    result.loadSensitive = monitor_.loadSensitiveCount();
    result.machineGaps = monitor_.machineGapCount();
    result.violations = monitor_.violations();
    return result;
}

void ScenarioSession::play(const Event& event, std::size_t index) {
    const auto issued = Clock::now();
    HostCalls::Span span;
    switch (event.kind) {
        case EventKind::ReadyOff:
            span = calls_->call(0, "setMotionsystemready(0)", true, [this] { product_.ready(0); });
            expectations_.lose(Condition::Ready, span.issued, span.returned);
            break;
        case EventKind::ReadyOn:
            span = calls_->call(0, "setMotionsystemready(1)", false, [this] { product_.ready(1); });
            expectations_.regain(Condition::Ready, span.issued, span.returned);
            break;
        case EventKind::AxisOff:
        case EventKind::AxisOn:
            product_.activeAxis(kAirProfile, event.channel, event.kind == EventKind::AxisOn);
            break;
        case EventKind::HoldStorm:
            calls_->holdStorm(event.lengthS, plan_.seed + index);
            break;
        case EventKind::ChainSwap: {
            const std::string& text = plan_.rig.motion[static_cast<std::size_t>(event.channel)]
                                          .chains[static_cast<std::size_t>(event.variant)]
                                          .text;
            if (product_.filter(kAirProfile, event.channel, text.c_str()) != 1)
                setUpFailed("the library refused " + text);
            break;
        }
        case EventKind::WindStalls:
        case EventKind::WindResumes:
            devices_->stallWind(event.kind == EventKind::WindStalls);
            break;
        case EventKind::WindUnplugged:
            devices_->unplugWind();
            break;
        case EventKind::WindPlugged:
            devices_->plugWind();
            break;
        case EventKind::ThreadStop:
            span = calls_->stopThread(event.hostThread);
            expectations_.lose(Condition::Thread, span.issued, span.returned);
            break;
        case EventKind::ThreadStart:
            span = calls_->startThread(event.hostThread);
            expectations_.regain(Condition::Thread, span.issued, span.returned);
            break;
        case EventKind::StartStopRace:
            // While the threads race, frames may come and go.
            expectations_.lose(Condition::Thread, issued, issued, false);
            span = calls_->race(event);
            if (event.finalStart) {
                expectations_.regain(Condition::Thread, span.issued, span.returned);
            } else {
                expectations_.lose(Condition::Thread, span.issued, span.returned);
            }
            break;
        case EventKind::BridgeStop:
            stopBridge(event.hostThread);
            break;
        case EventKind::BridgeStart:
            bridge_->start();
            monitor_.linkUp(Clock::now());
            expectations_.regain(Condition::Bridge, issued, Clock::now());
            break;
        case EventKind::BridgeStartStopRace:
            startOrStopBridgeRacing(event);
            break;
        case EventKind::CoarsePacing:
        case EventKind::PrecisePacing:
            product_.timerPrecision(event.kind == EventKind::PrecisePacing ? 1 : 0);
            break;
        case EventKind::ControllerUnplugged:
        case EventKind::ControllerPlugged:
        case EventKind::ControllerStalls:
        case EventKind::ControllerHangs:
        case EventKind::ControllerResumes:
            playController(event, issued);
            break;
        case EventKind::Settle:
            break;
        default:
            playGame(event, issued);
            break;
    }
}

void ScenarioSession::playGame(const Event& event, Clock::time_point issued) {
    switch (event.kind) {
        case EventKind::GameAppears:
            if (!game_->appear()) setUpFailed("the game did not start");
            expectations_.regain(Condition::Game, issued, Clock::now());
            break;
        case EventKind::GameStalls:
            expectations_.lose(Condition::Game, issued, issued, false);
            game_->stall();
            break;
        case EventKind::GameCrashes:
            expectations_.lose(Condition::Game, issued, issued, false);
            game_->crash();
            break;
        case EventKind::BlockCloses:
            expectations_.lose(Condition::Game, issued, issued, false);
            game_->closeBlock();
            break;
        case EventKind::GameResumes:
        case EventKind::GameReturns:
        case EventKind::BlockReopens:
            if (!game_->restore()) setUpFailed("the game did not come back");
            expectations_.regain(Condition::Game, issued, Clock::now());
            break;
        default: {
            const auto length = millis(event.lengthS * 1000.0);
            game_->sendGarbage(garbageOf(event.kind), length);
            // Values beyond the input limits are the game's to report; the library clamps them.
            if (event.kind == EventKind::GarbageHuge)
                monitor_.excuseLiveLeaps(issued, issued + length + 50ms);
            break;
        }
    }
}

void ScenarioSession::playController(const Event& event, Clock::time_point issued) {
    switch (event.kind) {
        case EventKind::ControllerUnplugged:
            expectations_.lose(Condition::Controller, issued, issued, false);
            monitor_.linkDown(issued);
            // Messages on their way when the port went may go with it: those still waiting in the port,
            // behind what a controller that paused left there, for as long as a full port's reading.
            monitor_.excuseLosses(issued - 100ms - millis(monitor_.portDrainMs()), issued + 500ms);
            devices_->unplugController();
            controllerResumedAt_.reset();
            break;
        case EventKind::ControllerPlugged:
            devices_->plugController();
            monitor_.linkUp(Clock::now());
            expectations_.regain(Condition::Controller, issued, Clock::now());
            break;
        case EventKind::ControllerStalls:
        case EventKind::ControllerHangs:
            expectations_.lose(Condition::Controller, issued, issued, false);
            monitor_.linkDown(issued);
            devices_->stallController(true);
            controllerStalledSince_ = issued;
            if (event.kind == EventKind::ControllerHangs) controllerHungSince_ = issued;
            break;
        default:  // ControllerResumes
            devices_->stallController(false);
            // What waited in the port arrives first, as fast as the controller reads it.
            monitor_.linkUp(issued + 3s);
            monitor_.backlogFrom(issued);
            expectations_.regain(Condition::Controller, issued, issued);
            if (controllerHungSince_) monitor_.excuseLosses(*controllerHungSince_ - 100ms, issued + 1s);
            controllerHungSince_.reset();
            controllerStalledSince_.reset();
            controllerResumedAt_ = issued;
            break;
    }
}

void ScenarioSession::stopBridge(int hostThread) {
    monitor_.linkDown(Clock::now());
    const auto span =
        calls_->call(hostThread, "stopKestrovane_Thread", true, [this] { product_.stopBridge(); });
    expectations_.lose(Condition::Bridge, span.issued, span.returned);
    excuseWhatThePortHeld(span.issued, span.returned);
    if (bridge_->waitReturned(millis(timing_.stopBoundMs))) return;
    char text[160];
    std::snprintf(text, sizeof text,
                  "startKestrovane_Thread had not returned %.0f ms after stopKestrovane_Thread did",
                  timing_.stopBoundMs);
    monitor_.report(Clock::now(), "bounded stop", text);
    stopUntilReturned();
}

// A stop does not wait for a controller that does not read: the library empties the port as it closes
// it, and the messages that waited there go with it. So do those behind the backlog that a controller
// reading at the wire rate works through after a pause: it drains no faster than the library sends,
// and a pseudo-terminal shows the library none of it (it reports no unsent bytes), so up to a full
// port of messages may stand in it until the stop.
void ScenarioSession::excuseWhatThePortHeld(Clock::time_point stopIssued, Clock::time_point stopReturned) {
    if (controllerStalledSince_) {
        monitor_.excuseLosses(*controllerStalledSince_ - 100ms, stopReturned);
    } else if (controllerResumedAt_ && monitor_.portDrainMs() > 0.0) {
        const auto backlogFrom = stopIssued - 100ms - millis(monitor_.portDrainMs());
        monitor_.excuseLosses(std::max(*controllerResumedAt_ - 100ms, backlogFrom), stopReturned);
    }
    controllerResumedAt_.reset();  // the port is empty now
}

// After a stop that was lost, the host stops again until the bridge's thread comes back; a bridge that
// no stop ends is a hang.
void ScenarioSession::stopUntilReturned() {
    auto guard = watch_.watch("startKestrovane_Thread, stopped again and again");
    do {
        product_.stopBridge();
    } while (!bridge_->waitReturned(100ms));
}

// The start and the stop come from two host threads at nearly the same moment, again and again; the
// later of the two calls decides whether the bridge runs, unless they overlapped.
void ScenarioSession::startOrStopBridgeRacing(const Event& event) {
    if (bridge_->running() > 0) stopBridge(0);
    for (int offsetNs : event.pauses[0]) {
        const auto raced = Clock::now();
        const bool stopLast = calls_->raceBridge(*bridge_, offsetNs);
        excuseWhatThePortHeld(raced, Clock::now());
        const bool overlapped = offsetNs >= 0 && offsetNs < timing_.callOverlapUs * 1000.0;
        char text[160];
        if (stopLast && !bridge_->waitReturned(millis(overlapped ? 100.0 : timing_.stopBoundMs))) {
            // A start whose thread was held up before the call ran is a later call; a library that
            // loses stops loses them again when the seed runs once more.
            if (!overlapped) {
                std::snprintf(
                    text, sizeof text,
                    "a stop %d ns after the start of startKestrovane_Thread was lost: the bridge ran on",
                    offsetNs);
                monitor_.report(Clock::now(), "bounded stop", text, true);
            }
        } else if (stopLast) {
            continue;  // the stop took effect last
        } else if (bridge_->waitReturned(100ms)) {
            // A start called after the stop had returned must run. A start that merely began later
            // than the stop loses to it when the stopping thread was held up between noting its time
            // and making its call: that one runs again with the seed before it counts.
            std::snprintf(text, sizeof text,
                          "startKestrovane_Thread called after a stop (%d ns) returned at once", offsetNs);
            monitor_.report(Clock::now(), "bounded stop", text, offsetNs >= 0);
            continue;
        }
        // The start took effect last: the bridge runs, and its frames are the start's, until the host
        // stops it again.
        monitor_.linkUp(raced);
        expectations_.regain(Condition::Bridge, raced, raced);
        stopBridge(0);
    }
}

// The host stops the rig as it closes: ready 0, the thread, the bridge. Nothing may move after that.
void ScenarioSession::finish() {
    if (messages_) messages_->stop();
    std::this_thread::sleep_for(300ms);  // the last messages reach the controller
    probe_.reset();
    auto span = calls_->call(0, "setMotionsystemready(0)", true, [this] { product_.ready(0); });
    expectations_.lose(Condition::Ready, span.issued, span.returned);
    span = calls_->stopThread(1);
    expectations_.lose(Condition::Thread, span.issued, span.returned);
    stopBridge(2);
    std::this_thread::sleep_for(300ms);  // a frame after the stops would show now
    expectations_.finish(Clock::now());
    witness_.reset();  // every stall told
    monitor_.finish();
}

}  // namespace tarvelmond::rig_safety
