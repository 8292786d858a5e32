#pragma once
#include <cstdint>

namespace tarvelmond {

// getNextDispatch's result when no message is waiting. Any other negative result means the connection
// has failed: the handle is then of no more use and is closed.
inline constexpr std::int32_t kSimClientNoMessage = static_cast<std::int32_t>(0x80004005u);

// The operations of the flight simulator's client interface that the game sources use, as a table
// (simclient::simClientOperations() gives the client's); with an empty table every step fails as a
// failed clientOpen would. Each returns a result code, negative on failure (0 success). clientOpen
// holds its caller for a few milliseconds at most: a connection still being made then fails the call
// and is taken up by a later one. clientClose returns at once; the closing goes on in the background.
struct SimClientOps {
    std::int32_t (*clientOpen)(void** handle, const char* applicationName, void* window,
                               std::uint32_t userMessage, void* event,
                               std::uint32_t configurationIndex) = nullptr;
    std::int32_t (*clientClose)(void* handle) = nullptr;
    std::int32_t (*addToDataDefinition)(void* handle, std::uint32_t definition, const char* variable,
                                        const char* unit, std::int32_t dataType, float epsilon,
                                        std::uint32_t datumId) = nullptr;
    std::int32_t (*requestDataOnSimObject)(void* handle, std::uint32_t request, std::uint32_t definition,
                                           std::uint32_t object, std::uint32_t period, std::uint32_t flags,
                                           std::uint32_t origin, std::uint32_t interval,
                                           std::uint32_t limit) = nullptr;
    std::int32_t (*subscribeToSystemEvent)(void* handle, std::uint32_t event,
                                           const char* eventName) = nullptr;
    std::int32_t (*getNextDispatch)(void* handle, const std::uint8_t** message,
                                    std::uint32_t* size) = nullptr;
    // Closes every client still open and waits until the client's threads have ended: the last step
    // of the thread that used the client, before the library may be unloaded.
    void (*closeAll)() = nullptr;
};

}  // namespace tarvelmond
