// The engine's flat exports: each obtains the engine (creating it on first use) and reads or writes
// a few of its members.
#include <tarvelmond.h>

#include "engine/chain_replacement.h"
#include "engine/engine_settings.h"
#include "engine/motion_engine.h"
#include "motion/transition.h"

using namespace tarvelmond;

extern "C" {

void setMotionsystemready(int ready) {
    applyMotionSystemReady(engine(), ready);
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
    CueArray* arrays[] = {&e.cues.airStage, &e.cues.groundStage, &e.cues.finalCues, &e.fade.heldCues};
    if (which < 0 || which > 3) return;
    if (data != nullptr) *data = arrays[which]->data();
    if (count != nullptr) *count = kDofChannels;
}

void setActiveAxis(int profile, int dof, bool active) {
    applyActiveAxis(engine(), profile, dof, active);
}

void setBelt_Mix(int profile, int index, double weight) {
    applyBeltMix(engine(), profile, index, weight);
}

int setcheckFilterstring(int profile, int dof, const char* filter) {
    return replaceFilterChain(engine(), profile, dof, filter);
}

void SetRigDofLimitValue(int dof, double min, double max) {
    applyRigLimit(engine(), dof, min, max);
}

void SetInputDofLimitValue(int dof, double min, double max) {
    applyInputLimit(engine(), dof, min, max);
}

int getactiveProfil(void) {
    return engine().cues.activeProfile.load();
}

double getTransitionStatus(void) {
    return outputFadePercent(engine().fade);
}

double getProfilAirTransitionStatus(void) {
    return airWeightPercent(engine().cues);
}

double getProfilGrdTransitionStatus(void) {
    return groundWeightPercent(engine().cues);
}

}  // extern "C"
