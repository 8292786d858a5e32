// The exports that start and stop the real-time thread and hand out the histories.
#include <tarvelmond.h>

#include "engine/game_source_thread.h"
#include "engine/motion_engine.h"

using namespace tarvelmond;

extern "C" {

void startGamesource_Thread(void) {
    startGameSourceThread(engine());
}

void stopGamesource_Thread(void) {
    stopGameSourceThread(engine());
}

double* GetCalculationSnapshots(int* count) {
    return engine().calculationHistory.take(count);
}

void FreeCalculationSnapshots(void* block) {
    engine();
    freeSnapshotBlock(block);
}

double* GetAccelerationSnapshots(int* count) {
    return engine().accelerationHistory.take(count);
}

void FreeAccelerationSnapshots(void* block) {
    engine();
    freeSnapshotBlock(block);
}

const double* GetPositionSnapshot(void) {
    return engine().positionSnapshot.data();
}

}  // extern "C"
