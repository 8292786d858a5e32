// A scenario is its seed: the same seed gives the same events, every disturbance is undone before the
// rig settles, and the CI set keeps clear of what exposes the faults not yet mended.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "known_faults.h"
#include "scenario_plan.h"

namespace tarvelmond::rig_safety {
namespace {

TEST(ScenarioPlan, TheSameSeedGivesTheSameEventsAndAnotherSeedOthers) {
    const PlanOptions options;
    for (std::uint64_t seed : {1ULL, 42ULL, 987654321ULL}) {
        EXPECT_EQ(describe(planScenario(seed, options)), describe(planScenario(seed, options)));
        EXPECT_NE(describe(planScenario(seed, options)), describe(planScenario(seed + 1, options)));
    }
}

// The runner judges the settled rig at the end: by then the game runs, the rig is ready, the threads,
// the bridge and the devices are back, every axis is on and the pacing precise.
TEST(ScenarioPlan, EveryDisturbanceIsUndoneBeforeTheRigSettles) {
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        const ScenarioPlan plan = planScenario(seed, PlanOptions{});
        ASSERT_FALSE(plan.events.empty());
        ASSERT_EQ(plan.events.back().kind, EventKind::Settle) << seed;
        EXPECT_TRUE(std::is_sorted(plan.events.begin(), plan.events.end(),
                                   [](const Event& a, const Event& b) { return a.atS < b.atS; }))
            << seed;
        bool game = false, ready = false, thread = false, bridge = true, controller = true, wind = true,
             coarse = false;
        std::set<int> axesOff;
        for (const Event& e : plan.events) {
            switch (e.kind) {
                case EventKind::GameAppears:
                case EventKind::GameResumes:
                case EventKind::GameReturns:
                case EventKind::BlockReopens:
                    game = true;
                    break;
                case EventKind::GameStalls:
                case EventKind::GameCrashes:
                case EventKind::BlockCloses:
                    game = false;
                    break;
                case EventKind::ReadyOn:
                case EventKind::ReadyOff:
                    ready = e.kind == EventKind::ReadyOn;
                    break;
                case EventKind::ThreadStart:
                case EventKind::ThreadStop:
                    thread = e.kind == EventKind::ThreadStart;
                    coarse = coarse && !thread;
                    break;
                case EventKind::StartStopRace:
                    thread = e.finalStart;
                    coarse = coarse && !thread;
                    break;
                case EventKind::BridgeStart:
                case EventKind::BridgeStop:
                case EventKind::BridgeStartStopRace:
                    bridge = e.kind == EventKind::BridgeStart;
                    break;
                case EventKind::ControllerPlugged:
                case EventKind::ControllerResumes:
                case EventKind::ControllerUnplugged:
                case EventKind::ControllerStalls:
                case EventKind::ControllerHangs:
                    controller =
                        e.kind == EventKind::ControllerPlugged || e.kind == EventKind::ControllerResumes;
                    break;
                case EventKind::WindPlugged:
                case EventKind::WindResumes:
                case EventKind::WindUnplugged:
                case EventKind::WindStalls:
                    wind = e.kind == EventKind::WindPlugged || e.kind == EventKind::WindResumes;
                    break;
                case EventKind::AxisOff:
                    axesOff.insert(e.channel);
                    break;
                case EventKind::AxisOn:
                    axesOff.erase(e.channel);
                    break;
                case EventKind::CoarsePacing:
                case EventKind::PrecisePacing:
                    coarse = e.kind == EventKind::CoarsePacing;
                    break;
                default:
                    break;
            }
        }
        EXPECT_TRUE(game && ready && thread && bridge && controller && wind && axesOff.empty() && !coarse)
            << "seed " << seed << "\n"
            << describe(plan);
    }
}

TEST(ScenarioPlan, TheCiSetKeepsClearOfTheKnownFaults) {
    const PlanOptions ci = avoidingKnownFaults(PlanOptions{});
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        const ScenarioPlan plan = planScenario(seed, ci);
        EXPECT_TRUE(!ci.noWind || !plan.wind) << seed;
        for (const Event& e : plan.events) {
            EXPECT_EQ(ci.excluded.count(e.kind), 0u) << seed << ": " << describe(e, plan.rig);
            EXPECT_EQ(ci.excludedForGame.count({plan.game, e.kind}), 0u)
                << seed << ": " << describe(e, plan.rig);
        }
    }
}

}  // namespace
}  // namespace tarvelmond::rig_safety
