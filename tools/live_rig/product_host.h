#pragma once
#include <string>

#include "platform/dynamic_library.h"
#include "rig_profile.h"

namespace tarvelmond::rig {

// The product loaded by name from beside the program, as a motion host loads it, and the exported
// functions the rig tools call.
class ProductHost {
  public:
    ProductHost();
    bool loaded() const { return library_.loaded(); }
    const std::string& error() const { return error_; }
    static const char* fileName() { return platform::productLibraryName(); }

    // Sets limits, filter strings, active axes and belt mix through the exports; false (with the
    // channel named in `error`) when the library rejects a filter string.
    bool install(const offline::RigProfile& profile, std::string& error);

    void (*startGameSource)() = nullptr;
    void (*stopGameSource)() = nullptr;
    void (*ready)(int) = nullptr;
    int (*filter)(int, int, const char*) = nullptr;
    void (*activeAxis)(int, int, bool) = nullptr;
    void (*beltMix)(int, int, double) = nullptr;
    void (*rigLimit)(int, double, double) = nullptr;
    void (*inputLimit)(int, double, double) = nullptr;
    double (*fadePercent)() = nullptr;
    double (*airPercent)() = nullptr;
    double (*groundPercent)() = nullptr;
    int (*gameId)() = nullptr;
    void (*gameName)(char*) = nullptr;
    double* (*calculationSnapshots)(int*) = nullptr;
    double* (*accelerationSnapshots)(int*) = nullptr;
    void (*freeSnapshots)(void*) = nullptr;
    int (*startBridge)() = nullptr;
    void (*stopBridge)() = nullptr;
    int (*send)(const unsigned char*) = nullptr;
    int (*connected)() = nullptr;
    int (*autoconnect)() = nullptr;

  private:
    platform::DynamicLibrary library_;
    std::string error_;
};

}  // namespace tarvelmond::rig
