#include "scenario_plan.h"

#include <algorithm>

namespace tarvelmond::rig_safety {
namespace {

// Longer than the 4 s output fade: a hold this long after the last one finds no fade running.
constexpr double kAfterFadeS = 4.6;

// The rig as the plan leaves it at each moment, so that every event makes sense where it falls.
struct PlanState {
    bool gameUp = false;    // delivering data
    bool gameDown = false;  // stalled, crashed or closed: waiting for its way back
    bool ready = false;
    bool threadOn = false;
    bool bridgeOn = true;
    bool controllerAway = false;  // unplugged, stalled or hung
    bool windAway = false;
    bool coarse = false;
    std::set<int> axesOff;
    std::array<int, kMotionChannels> chain{};
    double lastFadeStart = 0.0;
};

class Planner {
  public:
    Planner(std::uint64_t seed, const PlanOptions& options) : random_(seed), options_(options) {}

    ScenarioPlan plan(std::uint64_t seed) {
        ScenarioPlan plan;
        plan.seed = seed;
        plan.game = random_.pick(
            std::vector<Game>{Game::DirtRally2, Game::F1, Game::Wrc, Game::Lfs, Game::Truck, Game::Pcars2});
        plan.gamePeriodUs = random_.pick(std::vector<int>{2000, 2000, 4000, 8000, 16000});
        plan.controllerAtWireRate = random_.chance(0.4);
        plan.controllerStatusMs = random_.chance(0.3) ? 0 : random_.between(5, 50);
        plan.wind = random_.chance(0.5) && !options_.noWind;
        plan.windIntervalMs =
            options_.shortWindIntervals
                ? static_cast<unsigned>(random_.between(5, 30))
                : static_cast<unsigned>(random_.pick(std::vector<int>{10, 15, 50, 250, 1200}));
        plan.hostStreams = random_.between(0, 2);
        plan.hostMessageGapMs = random_.between(5, 60);
        plan.rig = randomRigSetup(random_);
        game_ = plan.game;
        wind_ = plan.wind;
        rig_ = &plan.rig;

        start();
        double t = events_.back().atS;
        while (t < options_.lengthS) {
            t += random_.uniform(0.2, 2.0);
            restoreDue(t);
            if (t < options_.lengthS) step(t);
        }
        restoreDue(1e9);
        const double settleAt = std::max(t, events_.empty() ? 0.0 : events_.back().atS) + 0.1;
        settle(settleAt);
        plan.events = std::move(events_);
        plan.endS = settleAt + options_.settleS;
        return plan;
    }

  private:
    bool allowed(EventKind kind) const {
        return options_.excluded.count(kind) == 0 && options_.excludedForGame.count({game_, kind}) == 0;
    }

    static Event make(double at, EventKind kind) {
        Event event;
        event.atS = at;
        event.kind = kind;
        return event;
    }

    void push(Event event) {
        events_.push_back(std::move(event));
        apply(events_.back());
    }

    void add(double at, EventKind kind) { push(make(at, kind)); }

    void later(double at, Event event) {
        event.atS = at;
        pending_.push_back(std::move(event));
    }

    // The events that undo an earlier one come when they are due, in time order.
    void restoreDue(double until) {
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Event& a, const Event& b) { return a.atS < b.atS; });
        while (!pending_.empty() && pending_.front().atS <= until) {
            Event event = pending_.front();
            pending_.erase(pending_.begin());
            if (!events_.empty()) event.atS = std::max(event.atS, events_.back().atS);
            events_.push_back(event);
            apply(events_.back());
        }
    }

    void apply(const Event& event) {
        switch (event.kind) {
            case EventKind::GameAppears:
            case EventKind::GameResumes:
            case EventKind::GameReturns:
            case EventKind::BlockReopens:
                state_.gameUp = true;
                state_.gameDown = false;
                break;
            case EventKind::GameStalls:
            case EventKind::GameCrashes:
            case EventKind::BlockCloses:
                state_.gameUp = false;
                state_.gameDown = true;
                break;
            case EventKind::ReadyOff:
                state_.ready = false;
                state_.lastFadeStart = event.atS;
                break;
            case EventKind::ReadyOn:
                state_.ready = true;
                state_.lastFadeStart = event.atS;
                break;
            case EventKind::AxisOff:
                state_.axesOff.insert(event.channel);
                state_.lastFadeStart = event.atS;
                break;
            case EventKind::AxisOn:
                state_.axesOff.erase(event.channel);
                state_.lastFadeStart = event.atS;
                break;
            case EventKind::ChainSwap:
                state_.chain[static_cast<std::size_t>(event.channel)] = event.variant;
                state_.lastFadeStart = event.atS;
                break;
            case EventKind::HoldStorm:
                state_.lastFadeStart = event.atS + event.lengthS;
                break;
            case EventKind::ControllerUnplugged:
            case EventKind::ControllerStalls:
            case EventKind::ControllerHangs:
                state_.controllerAway = true;
                break;
            case EventKind::ControllerPlugged:
            case EventKind::ControllerResumes:
                state_.controllerAway = false;
                break;
            case EventKind::WindStalls:
            case EventKind::WindUnplugged:
                state_.windAway = true;
                break;
            case EventKind::WindResumes:
            case EventKind::WindPlugged:
                state_.windAway = false;
                break;
            case EventKind::ThreadStop:
                state_.threadOn = false;
                break;
            case EventKind::ThreadStart:
                state_.threadOn = true;
                state_.coarse = false;  // the thread sets precise pacing when it starts
                state_.lastFadeStart = event.atS + 0.5;
                break;
            case EventKind::StartStopRace:
                state_.threadOn = event.finalStart;
                if (event.finalStart) state_.coarse = false;
                state_.lastFadeStart = event.atS + 0.5;
                break;
            case EventKind::BridgeStop:
            case EventKind::BridgeStartStopRace:
                state_.bridgeOn = false;
                break;
            case EventKind::BridgeStart:
                state_.bridgeOn = true;
                break;
            case EventKind::CoarsePacing:
                state_.coarse = true;
                break;
            case EventKind::PrecisePacing:
                state_.coarse = false;
                break;
            default:
                break;
        }
    }

    // The host sets the rig up, starts its thread; the game comes (late, unless told otherwise) and
    // the rig becomes ready.
    void start() {
        if (options_.gameBeforeThread) {
            add(0.0, EventKind::GameAppears);
            add(0.0, EventKind::ReadyOn);
            add(0.3, EventKind::ThreadStart);
            state_.lastFadeStart = 0.8;
            return;
        }
        add(0.0, EventKind::ThreadStart);
        const double game = random_.chance(0.3) ? random_.uniform(0.0, 0.3) : random_.uniform(0.5, 6.0);
        const double ready = random_.uniform(0.0, 7.0);
        if (ready < game) {
            add(ready, EventKind::ReadyOn);
            add(game, EventKind::GameAppears);
        } else {
            add(game, EventKind::GameAppears);
            add(ready, EventKind::ReadyOn);
        }
        state_.lastFadeStart = std::max(game, ready) + 0.5;
    }

    bool fadeSettled(double t) const {
        return !options_.holdsOnlyWhenSettled || t - state_.lastFadeStart >= kAfterFadeS;
    }

    double holdGap() {
        return options_.holdsOnlyWhenSettled ? random_.uniform(kAfterFadeS, kAfterFadeS + 2)
                                             : random_.uniform(0.05, 6.0);
    }

    std::vector<EventKind> candidates(double t) const {
        std::vector<EventKind> kinds;
        const auto offer = [&](EventKind kind) {
            if (allowed(kind)) kinds.push_back(kind);
        };
        if (state_.gameUp) {
            offer(EventKind::GameStalls);
            if (hasGameProcess(game_)) offer(EventKind::GameCrashes);
            if (isBlockGame(game_)) offer(EventKind::BlockCloses);
            if (!isBlockGame(game_)) {
                for (EventKind kind : {EventKind::GarbageNaN, EventKind::GarbageInfinity,
                                       EventKind::GarbageHuge, EventKind::GarbageLength})
                    offer(kind);
                if (game_ == Game::Wrc) offer(EventKind::GarbageDegenerate);
            }
        }
        if (state_.ready && !isPending(EventKind::ReadyOn)) offer(EventKind::ReadyOff);
        if (fadeSettled(t)) {
            if (state_.axesOff.size() < 3) offer(EventKind::AxisOff);
            offer(EventKind::ChainSwap);
            offer(EventKind::HoldStorm);
        }
        if (!state_.controllerAway) {
            offer(EventKind::ControllerUnplugged);
            offer(EventKind::ControllerStalls);
            if (options_.lengthS - t > 12.0) offer(EventKind::ControllerHangs);
        }
        if (wind_ && !state_.windAway) {
            offer(EventKind::WindStalls);
            offer(EventKind::WindUnplugged);
        }
        if (state_.threadOn && !isPending(EventKind::ThreadStart)) {
            offer(EventKind::ThreadStop);
            offer(EventKind::StartStopRace);
        }
        if (state_.bridgeOn && !isPending(EventKind::BridgeStart)) {
            offer(EventKind::BridgeStop);
            offer(EventKind::BridgeStartStopRace);
        }
        if (!state_.coarse && state_.threadOn) offer(EventKind::CoarsePacing);
        return kinds;
    }

    bool isPending(EventKind kind) const {
        return std::any_of(pending_.begin(), pending_.end(), [&](const Event& e) { return e.kind == kind; });
    }

    Event restoring(EventKind kind) {
        Event event;
        event.kind = kind;
        return event;
    }

    void step(double t) {
        const std::vector<EventKind> kinds = candidates(t);
        if (kinds.empty()) return;
        const EventKind kind = random_.pick(kinds);
        switch (kind) {
            case EventKind::GameStalls:
                add(t, kind);
                later(
                    t + (options_.shortStallsOnly ? random_.uniform(0.05, 1.2) : random_.uniform(0.05, 5.0)),
                    restoring(EventKind::GameResumes));
                break;
            case EventKind::GameCrashes:
                add(t, kind);
                later(t + random_.uniform(0.3, 5.0), restoring(EventKind::GameReturns));
                break;
            case EventKind::BlockCloses:
                add(t, kind);
                later(t + random_.uniform(0.2, 5.0), restoring(EventKind::BlockReopens));
                break;
            case EventKind::GarbageNaN:
            case EventKind::GarbageInfinity:
            case EventKind::GarbageHuge:
            case EventKind::GarbageLength:
            case EventKind::GarbageDegenerate: {
                Event event = make(t, kind);
                event.lengthS = random_.uniform(0.02, 0.5);
                push(event);
                break;
            }
            case EventKind::ReadyOff:
                add(t, kind);
                later(t + random_.uniform(0.05, 6.0), restoring(EventKind::ReadyOn));
                break;
            case EventKind::AxisOff: {
                std::vector<int> on;
                for (int c = 0; c < kMotionChannels; ++c)
                    if (state_.axesOff.count(c) == 0 && !isPendingAxis(c)) on.push_back(c);
                if (on.empty()) return;
                Event event = make(t, kind);
                event.channel = random_.pick(on);
                push(event);
                Event back = restoring(EventKind::AxisOn);
                back.channel = event.channel;
                later(t + holdGap(), back);
                break;
            }
            case EventKind::ChainSwap:
                swapChain(t);
                break;
            case EventKind::HoldStorm: {
                // Right after a swap, while the fade blends far-apart values, a hold that catches the
                // live values shows.
                if (allowed(EventKind::ChainSwap)) swapChain(t);
                Event event = make(t + 0.05, kind);  // before the next step, which comes 0.2 s on at least
                event.lengthS = random_.uniform(0.2, 1.5);
                push(event);
                break;
            }
            case EventKind::ControllerUnplugged:
                add(t, kind);
                later(t + random_.uniform(0.1, 4.0), restoring(EventKind::ControllerPlugged));
                break;
            case EventKind::ControllerStalls:
                add(t, kind);
                later(t + random_.uniform(0.1, 3.0), restoring(EventKind::ControllerResumes));
                break;
            case EventKind::ControllerHangs:
                add(t, kind);
                later(t + random_.uniform(11.0, 12.0), restoring(EventKind::ControllerResumes));
                break;
            case EventKind::WindStalls:
                add(t, kind);
                later(t + random_.uniform(0.2, 4.0), restoring(EventKind::WindResumes));
                break;
            case EventKind::WindUnplugged:
                add(t, kind);
                later(t + random_.uniform(0.2, 4.0), restoring(EventKind::WindPlugged));
                break;
            case EventKind::ThreadStop: {
                Event event = make(t, kind);
                event.hostThread = random_.between(0, 2);
                push(event);
                Event back = restoring(EventKind::ThreadStart);
                back.hostThread = random_.between(0, 2);
                later(t + random_.uniform(0.05, 4.0), back);
                break;
            }
            case EventKind::StartStopRace: {
                Event race;
                race.kind = kind;
                race.atS = t;
                const int threads = random_.between(2, 4);
                for (int i = 0; i < threads; ++i) {
                    std::vector<bool> calls;
                    std::vector<int> pauses;
                    const int count = random_.between(1, 4);
                    for (int c = 0; c < count; ++c) {
                        calls.push_back(random_.chance(0.5));
                        pauses.push_back(random_.chance(0.4) ? 0 : random_.between(0, 300));
                    }
                    race.calls.push_back(calls);
                    race.pauses.push_back(pauses);
                }
                race.finalStart = random_.chance(0.6);
                race.hostThread = random_.between(0, threads - 1);
                push(race);
                if (!race.finalStart) {
                    Event back = restoring(EventKind::ThreadStart);
                    later(t + random_.uniform(0.1, 3.0), back);
                }
                break;
            }
            case EventKind::BridgeStop: {
                Event event = make(t, kind);
                event.hostThread = random_.between(0, 2);
                push(event);
                later(t + random_.uniform(0.05, 3.0), restoring(EventKind::BridgeStart));
                break;
            }
            case EventKind::BridgeStartStopRace: {
                Event event = make(t, kind);
                // Offsets in nanoseconds of the stop after the start, or (negative) of the start after
                // the stop has returned; the window a stop can fall into is a few instructions wide, so
                // it is tried often.
                const int attempts = random_.between(8, 16);
                std::vector<int> offsets;
                offsets.reserve(static_cast<std::size_t>(attempts));
                for (int i = 0; i < attempts; ++i)
                    offsets.push_back(random_.chance(0.7) ? random_.between(0, 400)
                                                          : random_.between(-2000, -1));
                event.pauses = {offsets};
                push(event);
                later(t + random_.uniform(0.2, 2.0), restoring(EventKind::BridgeStart));
                break;
            }
            case EventKind::CoarsePacing:
                add(t, kind);
                later(t + random_.uniform(0.5, 5.0), restoring(EventKind::PrecisePacing));
                break;
            default:
                break;
        }
    }

    void swapChain(double t) {
        const int channel = random_.between(0, kMotionChannels - 1);
        const int variants = static_cast<int>(rig_->motion[static_cast<std::size_t>(channel)].chains.size());
        const int current = state_.chain[static_cast<std::size_t>(channel)];
        Event event = make(t, EventKind::ChainSwap);
        event.channel = channel;
        event.variant = (current + random_.between(1, variants - 1)) % variants;
        push(event);
    }

    bool isPendingAxis(int channel) const {
        return std::any_of(pending_.begin(), pending_.end(), [&](const Event& e) {
            return e.kind == EventKind::AxisOn && e.channel == channel;
        });
    }

    // Everything back in place, then the rig runs undisturbed.
    void settle(double t) {
        if (!state_.threadOn) add(t, EventKind::ThreadStart);
        if (!state_.bridgeOn) add(t, EventKind::BridgeStart);
        if (!state_.ready) add(t, EventKind::ReadyOn);
        if (!state_.gameUp) add(t, EventKind::GameResumes);
        for (int channel : std::set<int>(state_.axesOff)) {
            Event event = make(t, EventKind::AxisOn);
            event.channel = channel;
            push(event);
        }
        if (state_.coarse) add(t, EventKind::PrecisePacing);
        add(t, EventKind::Settle);
    }

    SeededRandom random_;
    PlanOptions options_;
    Game game_ = Game::DirtRally2;
    bool wind_ = false;
    const RigSetup* rig_ = nullptr;
    PlanState state_;
    std::vector<Event> events_;
    std::vector<Event> pending_;
};

}  // namespace

bool isBlockGame(Game game) {
    return game == Game::Truck || game == Game::Pcars2;
}

bool hasGameProcess(Game game) {
    return game == Game::F1 || game == Game::Lfs || isBlockGame(game);
}

ScenarioPlan planScenario(std::uint64_t seed, const PlanOptions& options) {
    return Planner(seed, options).plan(seed);
}

}  // namespace tarvelmond::rig_safety
