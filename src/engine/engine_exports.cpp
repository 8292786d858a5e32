// The engine's flat exports: each obtains the engine (creating it on first use) and reads or writes
// a few of its members.
#include <tarvelmond.h>

#include "engine/motion_engine.h"
#include "motion/chain_replacement.h"
#include "motion/transition.h"

using namespace tarvelmond;

namespace {

bool isDof(int dof) {
    return static_cast<unsigned>(dof) < static_cast<unsigned>(kDofChannels);
}

void storeLimit(DofLimit& limit, double min, double max) {
    limit.min.store(min, std::memory_order_relaxed);
    limit.max.store(max, std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void setMotionsystemready(int ready) {
    MotionEngine& e = engine();
    if (ready == 1 && !e.motionSystemReady.load()) {
        e.motionSystemReady.exchange(true);
        holdOutput(e);
    } else if (ready == 0 && e.motionSystemReady.load()) {
        e.motionSystemReady.exchange(false);
        holdOutput(e);
    }
}

void setTimerPrecision(int mode) {
    engine().loopTimer.preciseMode.store(mode, std::memory_order_relaxed);
}

int getGameID(void) {
    return getGameId(engine().gameSource);
}

void getGameName(char* buffer) {
    MotionEngine& e = engine();
    if (buffer != nullptr) tarvelmond::getGameName(e.gameSource, buffer);
}

double getGameTimeFrame(void) {
    return observe(engine().gameSource.record.frameTimeMs);
}

double getMotionDataTimeFrame(void) {
    return engine().loopTimer.lastIntervalMs();
}

int getGameDataCount(void) {
    engine();
    return kGameDataSlots + 1;  // the host has always been told 44
}

void getGameData(double** data, int* count) {
    MotionEngine& e = engine();
    if (data != nullptr) *data = e.gameSource.record.gameData.data();
    if (count != nullptr) *count = kGameDataSlots;
}

void getGameDataNames(const char* const** names, int* count) {
    engine();
    if (names != nullptr) *names = kGameDataNames;
    if (count != nullptr) *count = kGameDataSlots;
}

void getMotionCueData(int which, double** data, int* count) {
    MotionEngine& e = engine();
    CueArray* arrays[] = {&e.airStage, &e.groundStage, &e.finalCues, &e.heldCues};
    if (which < 0 || which > 3) return;
    if (data != nullptr) *data = arrays[which]->data();
    if (count != nullptr) *count = kDofChannels;
}

void setActiveAxis(int profile, int dof, bool active) {
    MotionEngine& e = engine();
    if (MotionProfile* target = e.hostProfile(profile); target != nullptr && isDof(dof)) {
        target->setActive(dof, active);
    }
    holdOutput(e);
}

void setBelt_Mix(int profile, int index, double weight) {
    MotionEngine& e = engine();
    if (MotionProfile* target = e.hostProfile(profile);
        target != nullptr && static_cast<unsigned>(index) < static_cast<unsigned>(kGameDataSlots)) {
        target->setBeltMix(index, weight);
    }
}

int setcheckFilterstring(int profile, int dof, const char* filter) {
    return replaceFilterChain(engine(), profile, dof, filter);
}

void SetRigDofLimitValue(int dof, double min, double max) {
    MotionEngine& e = engine();
    if (isDof(dof)) storeLimit(e.rigLimits[static_cast<std::size_t>(dof)], min, max);
}

void SetInputDofLimitValue(int dof, double min, double max) {
    MotionEngine& e = engine();
    if (!isDof(dof)) return;
    auto& limit = e.inputLimits[static_cast<std::size_t>(dof)];
    if (dof <= 7) {
        storeLimit(limit, min, max);
    } else if (dof <= 9) {
        storeLimit(limit, -360.0, 360.0);  // the position channels always take a full turn each way
    }
}

int getactiveProfil(void) {
    return engine().activeProfile.load();
}

double getTransitionStatus(void) {
    return outputFadePercent(engine());
}

double getProfilAirTransitionStatus(void) {
    return airWeightPercent(engine());
}

double getProfilGrdTransitionStatus(void) {
    return groundWeightPercent(engine());
}

}  // extern "C"
