/* Tarvelmond motion-simulator driver: the exported interface.
 *
 * Every function has C linkage and an undecorated name. Indices are 32-bit ints; out-of-range indices
 * are ignored without a report. Arrays handed out by address are rewritten by the library's real-time
 * thread while the host reads them; a host may see one tick half updated.
 */
#ifndef TARVELMOND_H
#define TARVELMOND_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdbool.h>
#include <stdint.h>
#endif

#if defined(_WIN32)
#if defined(TARVELMOND_BUILDING)
#define TARVELMOND_API __declspec(dllexport)
#else
#define TARVELMOND_API __declspec(dllimport)
#endif
#else
#define TARVELMOND_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Life cycle and pacing. The start and stop calls throw std::system_error (C++ hosts) when the
 * thread cannot be started or joined. */
TARVELMOND_API void startGamesource_Thread(void);
TARVELMOND_API void stopGamesource_Thread(void);
TARVELMOND_API void setMotionsystemready(int ready);
TARVELMOND_API void setTimerPrecision(int mode);

/* Game and telemetry queries */
TARVELMOND_API int getGameID(void);
TARVELMOND_API void getGameName(char* buffer); /* at least 21 bytes */
TARVELMOND_API double getGameTimeFrame(void);
TARVELMOND_API double getMotionDataTimeFrame(void);
TARVELMOND_API int getGameDataCount(void);
TARVELMOND_API void getGameData(double** data, int* count);
TARVELMOND_API void getGameDataNames(const char* const** names, int* count);

/* Motion cues, profiles and limits */
TARVELMOND_API void getMotionCueData(int which, double** data, int* count);
TARVELMOND_API void setActiveAxis(int profile, int dof, bool active);
TARVELMOND_API void setBelt_Mix(int profile, int index, double weight);
TARVELMOND_API int setcheckFilterstring(int profile, int dof, const char* filter);
TARVELMOND_API void SetRigDofLimitValue(int dof, double min, double max);
TARVELMOND_API void SetInputDofLimitValue(int dof, double min, double max);
TARVELMOND_API int getactiveProfil(void);
TARVELMOND_API double getTransitionStatus(void);
TARVELMOND_API double getProfilAirTransitionStatus(void);
TARVELMOND_API double getProfilGrdTransitionStatus(void);

/* Histories: each getter takes everything recorded since its previous call (at most 150 records of
 * 23 or 43 doubles, oldest first) in a block the host releases with either Free function; null and
 * *count 0 when nothing was recorded. GetPositionSnapshot points at the latest position record. */
TARVELMOND_API double* GetCalculationSnapshots(int* count);
TARVELMOND_API void FreeCalculationSnapshots(void* block);
TARVELMOND_API double* GetAccelerationSnapshots(int* count);
TARVELMOND_API void FreeAccelerationSnapshots(void* block);
TARVELMOND_API const double* GetPositionSnapshot(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVELMOND_H */
