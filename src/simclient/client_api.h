#pragma once
#include <cstdint>

#include "simclient/client_ops.h"

// The flight simulator's client interface as the game sources call it. A handle is an open client;
// it stays valid until clientClose.
namespace tarvelmond::simclient {

// Opens a client for the configuration index (0: section "SimConnect"; 0xFFFFFFFF: no file, defaults)
// and queues its open request. 0 with the handle set; 0x80070057 when no configuration file has the
// index's section; 0x8007007A for an application name of 256 characters or more; 0x80004005 for every
// other failure, and while a connection is still being made (a later call with the same arguments
// takes it up). Holds the caller a few milliseconds at most.
std::int32_t clientOpen(void** handle, const char* applicationName, void* window, std::uint32_t windowMessage,
                        void* event, std::uint32_t configurationIndex);
// Hands the client over to be closed (its queued requests still go out first); returns at once. 0, or
// 0x80004005 for a null handle.
std::int32_t clientClose(void* handle);

std::int32_t addToDataDefinition(void* handle, std::uint32_t definition, const char* datumName,
                                 const char* unitName, std::int32_t datumType, float epsilon,
                                 std::uint32_t datumId);
std::int32_t requestDataOnSimObject(void* handle, std::uint32_t request, std::uint32_t definition,
                                    std::uint32_t object, std::uint32_t period, std::uint32_t flags,
                                    std::uint32_t origin, std::uint32_t interval, std::uint32_t limit);
std::int32_t subscribeToSystemEvent(void* handle, std::uint32_t event, const char* eventName);
// 0 and the oldest received message (valid until the next call for this handle); 0x80004005 when
// none is waiting; any other negative code when the connection has failed.
std::int32_t getNextDispatch(void* handle, const std::uint8_t** message, std::uint32_t* size);

// Closes every client and connection attempt and waits until the client's threads have ended.
void closeAllClients();

// The operations above, for the game sources.
const SimClientOps& simClientOperations();

// How many connections are being made in the background, and how many clients the I/O thread holds;
// for tests and diagnostics.
std::size_t connectionsUnderWay();
std::size_t clientsHeld();
bool clientThreadRunning();

}  // namespace tarvelmond::simclient
