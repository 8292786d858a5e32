#include "scenario_plan.h"

#include <cstdio>
#include <map>
#include <sstream>

// How plans read in reports: the events' names and the plan as one line per setting and event.
namespace tarvelmond::rig_safety {

const char* kindName(EventKind kind) {
    static const std::map<EventKind, const char*> names = {
        {EventKind::GameAppears, "game appears"},
        {EventKind::GameStalls, "game stalls"},
        {EventKind::GameResumes, "game resumes"},
        {EventKind::GameCrashes, "game crashes (process killed)"},
        {EventKind::GameReturns, "game returns"},
        {EventKind::BlockCloses, "game closes its block"},
        {EventKind::BlockReopens, "game opens its block again"},
        {EventKind::GarbageNaN, "datagrams with NaN"},
        {EventKind::GarbageInfinity, "datagrams with infinities"},
        {EventKind::GarbageHuge, "datagrams with huge values"},
        {EventKind::GarbageLength, "datagrams of wrong lengths"},
        {EventKind::GarbageDegenerate, "datagrams with zero direction vectors"},
        {EventKind::ReadyOff, "setMotionsystemready(0)"},
        {EventKind::ReadyOn, "setMotionsystemready(1)"},
        {EventKind::AxisOff, "setActiveAxis(AIR, off)"},
        {EventKind::AxisOn, "setActiveAxis(AIR, on)"},
        {EventKind::HoldStorm, "host holds again and again"},
        {EventKind::ChainSwap, "setcheckFilterstring"},
        {EventKind::ControllerUnplugged, "controller unplugged"},
        {EventKind::ControllerPlugged, "controller plugged in"},
        {EventKind::ControllerStalls, "controller stops reading"},
        {EventKind::ControllerHangs, "controller stops reading for 11 s or more"},
        {EventKind::ControllerResumes, "controller reads again"},
        {EventKind::WindStalls, "wind device stops reading"},
        {EventKind::WindResumes, "wind device reads again"},
        {EventKind::WindUnplugged, "wind device unplugged"},
        {EventKind::WindPlugged, "wind device plugged in"},
        {EventKind::ThreadStop, "stopGamesource_Thread"},
        {EventKind::ThreadStart, "startGamesource_Thread"},
        {EventKind::StartStopRace, "start and stop from several threads"},
        {EventKind::BridgeStop, "stopKestrovane_Thread"},
        {EventKind::BridgeStart, "startKestrovane_Thread"},
        {EventKind::BridgeStartStopRace, "startKestrovane_Thread, stop right after"},
        {EventKind::CoarsePacing, "setTimerPrecision(0)"},
        {EventKind::PrecisePacing, "setTimerPrecision(1)"},
        {EventKind::Settle, "everything in place; the rig settles"},
    };
    return names.at(kind);
}

const char* gameName(Game game) {
    switch (game) {
        case Game::DirtRally2:
            return "DiRT Rally 2";
        case Game::F1:
            return "F1 24";
        case Game::Wrc:
            return "EA WRC";
        case Game::Lfs:
            return "Live for Speed";
        case Game::Truck:
            return "Euro Truck Simulator 2";
        case Game::Pcars2:
            return "Automobilista 2";
    }
    return "?";
}

std::string describe(const Event& event, const RigSetup& rig) {
    char head[48];
    std::snprintf(head, sizeof head, "%+8.3f s  ", event.atS);
    std::ostringstream text;
    text << head << kindName(event.kind);
    switch (event.kind) {
        case EventKind::AxisOff:
        case EventKind::AxisOn:
            text << " channel " << event.channel;
            break;
        case EventKind::ChainSwap:
            text << " channel " << event.channel << " \""
                 << rig.motion[static_cast<std::size_t>(event.channel)]
                        .chains[static_cast<std::size_t>(event.variant)]
                        .text
                 << "\"";
            break;
        case EventKind::GarbageNaN:
        case EventKind::GarbageInfinity:
        case EventKind::GarbageHuge:
        case EventKind::GarbageLength:
        case EventKind::GarbageDegenerate:
        case EventKind::HoldStorm:
            text << " for " << static_cast<int>(event.lengthS * 1000) << " ms";
            break;
        case EventKind::ThreadStop:
        case EventKind::ThreadStart:
        case EventKind::BridgeStop:
            text << " (host thread " << event.hostThread << ")";
            break;
        case EventKind::BridgeStartStopRace:
            text << " (" << event.pauses[0].size()
                 << " times: the stop up to 0.4 us after the start, or the start up to 2 us after the stop)";
            break;
        case EventKind::StartStopRace:
            for (std::size_t t = 0; t < event.calls.size(); ++t) {
                text << (t == 0 ? ": " : "; ") << "thread " << t;
                for (std::size_t c = 0; c < event.calls[t].size(); ++c)
                    text << " +" << event.pauses[t][c] << "us " << (event.calls[t][c] ? "start" : "stop");
            }
            text << "; then thread " << event.hostThread << (event.finalStart ? " starts" : " stops");
            break;
        default:
            break;
    }
    return text.str();
}

std::string describe(const ScenarioPlan& plan) {
    std::ostringstream text;
    text << "game " << gameName(plan.game) << " every " << plan.gamePeriodUs << " us; controller reads "
         << (plan.controllerAtWireRate ? "at the wire rate" : "at once")
         << (plan.controllerStatusMs > 0
                 ? ", reports every " + std::to_string(plan.controllerStatusMs) + " ms"
                 : std::string(", reports nothing"))
         << "; wind "
         << (plan.wind ? "every " + std::to_string(plan.windIntervalMs) + " ms" : std::string("none")) << "; "
         << plan.hostStreams << " host message streams every ~" << plan.hostMessageGapMs << " ms\n";
    for (int c = 0; c < kMotionChannels; ++c) {
        const MotionChannel& channel = plan.rig.motion[static_cast<std::size_t>(c)];
        char limits[64];
        std::snprintf(limits, sizeof limits, "%.2f..%.2f", channel.inputMin, channel.inputMax);
        text << "  channel " << c << " input " << limits << ":";
        for (const Chain& chain : channel.chains)
            text << " " << chain.text;
        text << "\n";
    }
    for (const Effect& effect : plan.rig.effects)
        text << "  channel " << effect.channel << " " << effectChain(effect) << "\n";
    text << "  rig limits";
    for (double limit : plan.rig.rigLimit) {
        char value[24];
        std::snprintf(value, sizeof value, " +-%.2f", limit);
        text << value;
    }
    text << "\n";
    for (const Event& event : plan.events)
        text << describe(event, plan.rig) << "\n";
    return text.str();
}

}  // namespace tarvelmond::rig_safety
