#include "simclient/client_api.h"

#include <string_view>

#include "platform/simulator_process.h"
#include "simclient/client_config.h"
#include "simclient/open_attempts.h"
#include "simclient/request_builder.h"

namespace tarvelmond::simclient {
namespace {

// How long an open waits for its connection before leaving it to the background.
constexpr std::chrono::milliseconds kOpenWait{5};

// The client machinery of the process: the attempts go before the I/O thread they hand clients to.
struct ClientRuntime {
    ClientIoService service;
    OpenAttempts attempts{service};
};

ClientRuntime& runtime() {
    // Never destroyed by the language: it is built by the game-source thread's first open, after the
    // engine, so at an exit whose host did not stop the thread it would go first, while that thread,
    // stopped only later, still opens, reads and finally closes clients through it. Its threads end
    // with closeAllClients, the last step of the thread that used it (before any unload); at exit
    // without a stop the process ends them.
    static ClientRuntime* const instance = new ClientRuntime;
    return *instance;
}

SimClient* clientOf(void* handle) {
    return static_cast<SimClient*>(handle);
}

// A caller's string, read no further than the longest one a request can refuse: a string of 256 or
// more characters comes out 256 long.
std::string_view bounded(const char* text) {
    if (text == nullptr) return {};
    std::size_t length = 0;
    while (length < kStringField && text[length] != '\0')
        ++length;
    return {text, length};
}

}  // namespace

std::int32_t clientOpen(void** handle, const char* applicationName, void* window, std::uint32_t windowMessage,
                        void* event, std::uint32_t configurationIndex) {
    if (handle == nullptr) return kFailed;
    *handle = nullptr;
    if (!configurationIndexExists(configurationIndex)) return kInvalidConfigurationIndex;
    const std::string_view name = bounded(applicationName);
    // Refused before any connection is made: the open request could not be sent on it.
    if (name.size() >= kStringField) return kStringTooLong;
    OpenParameters parameters{std::string(name),
                              {window, windowMessage, event},
                              configurationIndex,
                              platform::simulatorWindowOfThisProcess().has_value()};
    SimClient* client = nullptr;
    const std::int32_t result = runtime().attempts.open(parameters, client, kOpenWait);
    if (result == kSuccess) *handle = client;
    return result;
}

std::int32_t clientClose(void* handle) {
    SimClient* client = clientOf(handle);
    if (client == nullptr) return kFailed;
    client->flushRequests();
    client->stopNotifying();
    runtime().service.close(client->key());
    return kSuccess;
}

std::int32_t addToDataDefinition(void* handle, std::uint32_t definition, const char* datumName,
                                 const char* unitName, std::int32_t datumType, float epsilon,
                                 std::uint32_t datumId) {
    SimClient* client = clientOf(handle);
    if (client == nullptr) return kFailed;
    return client->addToDataDefinition(definition, bounded(datumName), bounded(unitName),
                                       static_cast<std::uint32_t>(datumType), epsilon, datumId);
}

std::int32_t requestDataOnSimObject(void* handle, std::uint32_t request, std::uint32_t definition,
                                    std::uint32_t object, std::uint32_t period, std::uint32_t flags,
                                    std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
    SimClient* client = clientOf(handle);
    if (client == nullptr) return kFailed;
    return client->requestDataOnSimObject(request, definition, object, period, flags, origin, interval,
                                          limit);
}

std::int32_t subscribeToSystemEvent(void* handle, std::uint32_t event, const char* eventName) {
    SimClient* client = clientOf(handle);
    if (client == nullptr) return kFailed;
    return client->subscribeToSystemEvent(event, bounded(eventName));
}

std::int32_t getNextDispatch(void* handle, const std::uint8_t** message, std::uint32_t* size) {
    SimClient* client = clientOf(handle);
    if (client == nullptr) {
        if (message != nullptr) *message = nullptr;
        if (size != nullptr) *size = 0;
        return kFailed;
    }
    return client->getNextDispatch(message, size);
}

void closeAllClients() {
    ClientRuntime& machinery = runtime();
    machinery.attempts.cancelAll();
    machinery.service.closeAllAndWait();
}

const SimClientOps& simClientOperations() {
    static const SimClientOps operations = {
        .clientOpen = clientOpen,
        .clientClose = clientClose,
        .addToDataDefinition = addToDataDefinition,
        .requestDataOnSimObject = requestDataOnSimObject,
        .subscribeToSystemEvent = subscribeToSystemEvent,
        .getNextDispatch = getNextDispatch,
        .closeAll = closeAllClients,
    };
    return operations;
}

std::size_t connectionsUnderWay() {
    return runtime().attempts.underWay();
}

std::size_t clientsHeld() {
    return runtime().service.clientCount();
}

bool clientThreadRunning() {
    return runtime().service.threadRunning();
}

}  // namespace tarvelmond::simclient
