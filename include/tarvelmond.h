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

/* UTF-16 text: wchar_t on Windows. */
#if defined(_WIN32)
typedef wchar_t tarvelmond_utf16;
#elif defined(__cplusplus)
typedef char16_t tarvelmond_utf16;
#else
typedef uint_least16_t tarvelmond_utf16;
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
/* Output frame and motion cancel: the rig pose for VR motion compensation is published in the shared
 * block "Local\motionRigPose" (512 bytes) as six doubles at offsets 0 to 40, in this order: sway,
 * surge, heave, yaw, roll, pitch. */
TARVELMOND_API void getOutputData(uint8_t* out); /* the last 36-byte output frame */
TARVELMOND_API void activateMotionCancel(bool enable);
TARVELMOND_API void setFilterMotionCancel(double filter);
TARVELMOND_API void setGainMotionCancel(double gain);

/* Serial link to the motion controller. startKestrovane_Thread runs the bridge on the calling thread
 * and returns 1 when stopKestrovane_Thread has ended it. Messages end with 0x0A 0x0D (at most 512
 * bytes in all); the library puts their CRC-16/ARC in place of that pair on the wire. */
TARVELMOND_API int startKestrovane_Thread(void);
TARVELMOND_API void stopKestrovane_Thread(void);
TARVELMOND_API int sendMessagemmf(const unsigned char* message); /* 1 queued, -1 refused */
TARVELMOND_API int autoMessagemmf(const unsigned char* message); /* 1 queued, 0 refused */
TARVELMOND_API int readMessagemmf(unsigned char* buffer);        /* buffer of 512 bytes; bytes copied */
TARVELMOND_API int newMessagemmf(void);
TARVELMOND_API int isConnected(void);
TARVELMOND_API int isInterfaceRunning(void);
TARVELMOND_API int pauseInterface(void);
TARVELMOND_API int resumeInterface(void);
TARVELMOND_API int enableAutoconnect(void);
TARVELMOND_API int disableAutoconnect(void);
TARVELMOND_API int setStandartPort(const char* port); /* "COM7", "\\.\COM12" */
TARVELMOND_API double getOutputTimeFrame(void);

/* The controller over the network. startUPDListenThread runs the UDP listen loop on the calling thread
 * (controller frames arriving on the listen port, 53241 unless setUDPport chose another) until
 * stopKestrovane_Thread ends it; the first controller whose frames arrive has the link until it is
 * silent for 8 s, and datagrams from any other address are ignored meanwhile. */
TARVELMOND_API void setUDPport(uint16_t port);
TARVELMOND_API void startUPDListenThread(void);
/* startUPDMulticastSenderThread runs the sender on the calling thread until stopKestrovane_Thread ends
 * it (or it cannot start: no wired Ethernet adapter is up; its end leaves the listener running): every
 * 2 ms the host's messages and the automatic message go to the group (232.11.12.14 port 51324 unless
 * setMulticastAddr chose another; a text that is no dotted quad of decimal parts changes nothing)
 * through the wired adapter with the lowest IPv4 metric. Nothing is sent while the serial link has
 * the controller. */
TARVELMOND_API void setMulticastAddr(const char* address, uint16_t port);
TARVELMOND_API void startUPDMulticastSenderThread(void);

/* Wind device: configures the engine's own WindSerial (port such as "COM5", mode such as "8N1",
 * interval between two bytes in ms). Hosts built with MSVC use this function, not the class below. */
TARVELMOND_API int initWindSerial(const tarvelmond_utf16* port, int baudRate, const tarvelmond_utf16* mode,
                                  unsigned int intervalMs);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/* The wind device's driver, exported as a class. The library is built with GCC (mingw-w64 on
 * Windows), so the class has GCC's C++ ABI: its std::string and std::vector arguments and its object
 * layout are those of libstdc++, not of MSVC's library. Only hosts built with a GCC-compatible
 * toolchain may construct and call it; hosts built with MSVC use initWindSerial and the instance the
 * library keeps inside itself.
 *
 * One byte goes to the device every `intervalMs` while it runs (the latest value handed over with
 * updateBuffer), and a 0x00 byte when it starts, pauses and stops.
 *
 * exported member: _ZN10WindSerialC1Ev
 * exported member: _ZN10WindSerialC2Ev
 * exported member: _ZN10WindSerialD1Ev
 * exported member: _ZN10WindSerialD2Ev
 * exported member: _ZN10WindSerial4initERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEiS7_j
 * exported member: _ZN10WindSerial5startEv
 * exported member: _ZN10WindSerial5pauseEv
 * exported member: _ZN10WindSerial7unpauseEv
 * exported member: _ZN10WindSerial4stopEv
 * exported member: _ZNK10WindSerial9isRunningEv
 * exported member: _ZNK10WindSerial6isInitEv
 * exported member: _ZN10WindSerial12updateBufferERKSt6vectorIhSaIhEE
 * exported member: _ZN10WindSerial17startInBackgroundEv
 * exported member: _ZN10WindSerial13configurePortEiRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE
 * exported member: _ZN10WindSerial17sendingThreadFuncEv
 * exported member: _ZN10WindSerial12openAndPrimeEv
 * exported member: _ZNK10WindSerial8mayStartEv
 */
class TARVELMOND_API WindSerial {
  public:
    struct Port; /* the open device, defined inside the library */

    WindSerial();
    ~WindSerial();
    WindSerial(const WindSerial&) = delete;
    WindSerial& operator=(const WindSerial&) = delete;

    /* False when the port is no known device; the interval is kept either way. */
    bool init(const std::string& port, int baudRate, const std::string& mode, unsigned int intervalMs);
    /* Opens, configures and primes the port (on the sending thread) and returns once that is done,
     * isRunning then telling whether it worked; gives up after three failures until the next
     * successful init or stop. A run still closing after a stop ends first. */
    void start();
    /* A 0x00 goes out at once if the port is open; values are then taken but not written. Never waits
     * for the device. */
    void pause();
    void unpause(); /* writes nothing; the next value goes out */
    /* Ends the run: the sending thread writes 0x00, closes the port and ends, without the caller
     * waiting for the device or the interval. isRunning is false once stop returns; starts and stops
     * from any threads leave the device as the last of them asked. */
    void stop();
    bool isRunning() const;
    bool isInit() const;
    void updateBuffer(const std::vector<uint8_t>& bytes);
    /* start without waiting for anything: the sending thread opens the port, and a call that finds the
     * object busy does nothing (a later one starts it). For callers that must not block, such as the
     * library's real-time thread. */
    void startInBackground();

  private:
    bool configurePort(int baudRate, const std::string& mode);
    void sendingThreadFunc();
    bool openAndPrime(); /* open, configure, write 0x00; the port stays open only on success */
    bool mayStart() const;

    std::unique_ptr<Port> port_;
    std::atomic<bool> running_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> initialised_{false};
    std::thread sendingThread_;
    std::mutex bufferMutex_;
    std::vector<uint8_t> buffer_;
    std::atomic<unsigned int> interval_{15};
    std::string portName_;
    int baudRate_ = 0;
    std::string mode_;
    int startAttempts_ = 0;
    /* Guards the settings above and the run's life cycle; never held while the device is used. */
    std::mutex portMutex_;
    std::atomic<bool> starting_{false};
    bool sessionActive_ = false; /* a sending thread runs (until its port is closed) */
};
#endif

#endif /* TARVELMOND_H */
