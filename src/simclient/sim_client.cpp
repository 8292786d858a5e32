#include "simclient/sim_client.h"

#include <new>

#include "platform/notification.h"

namespace tarvelmond::simclient {
namespace {

DisconnectKind kindOf(std::uint32_t status) {
    switch (status) {
        case platform::kIoCancelled:
            return DisconnectKind::Cancelled;
        case platform::kIoRemoteDisconnect:
        case platform::kIoPipeBroken:
        case platform::kIoConnectionReset:
            return DisconnectKind::PeerGone;
        default:
            return DisconnectKind::TransportError;
    }
}

}  // namespace

SimClient::SimClient(std::uint64_t key, platform::StreamKind kind, std::uint32_t maxReceiveSize,
                     NotificationTargets notify, std::function<void()> wakeIo)
    : key_(key), kind_(kind), notify_(notify), wakeIo_(std::move(wakeIo)), assembler_(maxReceiveSize) {}

// ---- The reader's side.

std::int32_t SimClient::queued(std::int32_t built) {
    if (built != kSuccess) return built;
    flushRequests();
    return kSuccess;
}

std::int32_t SimClient::open(std::string_view applicationName) {
    if (failed_.load()) return failureCode_.load();
    return queued(requests_.open(applicationName));
}

std::int32_t SimClient::addToDataDefinition(std::uint32_t definition, std::string_view datumName,
                                            std::string_view unitName, std::uint32_t datumType, float epsilon,
                                            std::uint32_t datumId) {
    if (failed_.load()) return failureCode_.load();
    return queued(
        requests_.addToDataDefinition(definition, datumName, unitName, datumType, epsilon, datumId));
}

std::int32_t SimClient::requestDataOnSimObject(std::uint32_t request, std::uint32_t definition,
                                               std::uint32_t object, std::uint32_t period,
                                               std::uint32_t flags, std::uint32_t origin,
                                               std::uint32_t interval, std::uint32_t limit) {
    if (failed_.load()) return failureCode_.load();
    return queued(requests_.requestDataOnSimObject(request, definition, object, period, flags, origin,
                                                   interval, limit));
}

std::int32_t SimClient::subscribeToSystemEvent(std::uint32_t event, std::string_view eventName) {
    if (failed_.load()) return failureCode_.load();
    return queued(requests_.subscribeToSystemEvent(event, eventName));
}

void SimClient::flushRequests() {
    std::vector<std::uint8_t> packet = requests_.flush();
    // A packet for a connection that has ended goes nowhere.
    if (packet.empty() || !connected_.load()) return;
    {
        const std::lock_guard lock(sendMutex_);
        sendList_.push_back(std::move(packet));
    }
    wakeIo_();
}

std::int32_t SimClient::getNextDispatch(const std::uint8_t** message, std::uint32_t* size) {
    // Read before taking: every message that arrived before the failure is then in the list.
    const bool failed = failed_.load(std::memory_order_acquire);
    const std::span<const std::uint8_t> next = received_.take();
    if (message != nullptr) *message = next.empty() ? nullptr : next.data();
    if (size != nullptr) *size = static_cast<std::uint32_t>(next.size());
    if (!next.empty()) return kSuccess;
    return failed ? failureCode_.load() : kNoMessage;
}

std::int32_t SimClient::failureCode() const {
    return failed_.load() ? failureCode_.load() : kSuccess;
}

// ---- The I/O thread's side.

void SimClient::attached(platform::IoLoop& loop) {
    attached_ = true;
    if (!connected_.load()) {
        loop.close(key_);
        return;
    }
    readNext(loop);
    writeNext(loop);
}

void SimClient::attachFailed() {
    connected_.store(false);
    failureKind_.store(DisconnectKind::TransportError);
    failureCode_.store(resultCode(platform::kIoUnsuccessful));
    failed_.store(true, std::memory_order_release);
    released_ = true;
    notify();
}

void SimClient::completed(platform::IoLoop& loop, const platform::IoCompletion& completion) {
    switch (completion.operation) {
        case platform::IoOperation::Closed:
            released_ = true;
            return;
        case platform::IoOperation::Read: {
            if (!connected_.load()) return;
            const bool fine =
                completion.status == platform::kIoSuccess ||
                (completion.status == platform::kIoMoreData && kind_ == platform::StreamKind::Pipe);
            if (!fine) {
                fail(loop, kindOf(completion.status), resultCode(completion.status));
            } else if (completion.bytes == 0) {
                fail(loop, DisconnectKind::EndOfStream, kEndOfStream);
            } else {
                received(loop, completion.bytes);
            }
            return;
        }
        case platform::IoOperation::Write:
            writeOutstanding_ = false;
            if (!connected_.load()) return;
            if (completion.status != platform::kIoSuccess) {
                fail(loop, kindOf(completion.status), resultCode(completion.status));
                return;
            }
            writtenOfPacket_ += completion.bytes;
            if (writtenOfPacket_ < writing_.size()) {
                std::uint32_t status = platform::kIoSuccess;
                writeOutstanding_ =
                    loop.startWrite(key_, std::span(writing_).subspan(writtenOfPacket_), status);
                if (!writeOutstanding_) fail(loop, kindOf(status), resultCode(status));
                return;
            }
            writeNext(loop);
            return;
    }
}

void SimClient::received(platform::IoLoop& loop, std::size_t bytes) {
    assembler_.commit(bytes);
    for (;;) {
        const ReceiveAssembler::Next next = assembler_.next();
        switch (next.status) {
            case ReceiveAssembler::Status::NeedMore:
                readNext(loop);
                return;
            case ReceiveAssembler::Status::Message:
                try {
                    received_.put(next.message);
                } catch (const std::bad_alloc&) {
                    fail(loop, DisconnectKind::OutOfMemory, kOutOfMemory);
                    return;
                }
                notify();
                break;
            case ReceiveAssembler::Status::TooLarge:
                fail(loop, DisconnectKind::MessageTooLarge, kBadMessageSize);
                return;
            case ReceiveAssembler::Status::TooSmall:
                fail(loop, DisconnectKind::MessageTooSmall, kBadMessageSize);
                return;
            case ReceiveAssembler::Status::OutOfMemory:
                fail(loop, DisconnectKind::OutOfMemory, kOutOfMemory);
                return;
        }
    }
}

void SimClient::readNext(platform::IoLoop& loop) {
    const std::span<std::uint8_t> space = assembler_.freeSpace();
    if (space.empty()) {
        fail(loop, DisconnectKind::OutOfMemory, kOutOfMemory);
        return;
    }
    std::uint32_t status = platform::kIoSuccess;
    if (!loop.startRead(key_, space, status)) fail(loop, kindOf(status), resultCode(status));
}

void SimClient::writeNext(platform::IoLoop& loop) {
    if (writeOutstanding_ || !attached_ || !connected_.load()) return;
    {
        const std::lock_guard lock(sendMutex_);
        if (sendList_.empty()) return;
        writing_ = std::move(sendList_.front());
        sendList_.pop_front();
    }
    writtenOfPacket_ = 0;
    std::uint32_t status = platform::kIoSuccess;
    writeOutstanding_ = loop.startWrite(key_, writing_, status);
    // A write that cannot even start ends the connection: nothing would ever start the next one.
    if (!writeOutstanding_) fail(loop, kindOf(status), resultCode(status));
}

bool SimClient::sendingDone() {
    if (writeOutstanding_) return false;
    const std::lock_guard lock(sendMutex_);
    return sendList_.empty();
}

void SimClient::shutdown(platform::IoLoop& loop) {
    if (!connected_.exchange(false)) return;  // a failure has closed it already
    if (attached_) {
        loop.close(key_);
    } else {
        released_ = true;
    }
}

void SimClient::fail(platform::IoLoop& loop, DisconnectKind kind, std::int32_t code) {
    if (!connected_.exchange(false)) return;
    failureKind_.store(kind);
    failureCode_.store(code);
    failed_.store(true, std::memory_order_release);
    loop.close(key_);
    notify();
}

void SimClient::stopNotifying() {
    const std::lock_guard lock(notifyMutex_);
    notify_ = {};
}

void SimClient::notify() const {
    const std::lock_guard lock(notifyMutex_);
    if (notify_.window != nullptr && notify_.windowMessage != 0) {
        platform::postWindowMessage(notify_.window, notify_.windowMessage);
    }
    if (notify_.event != nullptr) platform::signalNotificationEvent(notify_.event);
}

}  // namespace tarvelmond::simclient
