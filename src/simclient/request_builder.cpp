#include "simclient/request_builder.h"

#include <bit>
#include <initializer_list>

#include "simclient/result_codes.h"

namespace tarvelmond::simclient {
namespace {

constexpr std::size_t kHeaderSize = 16;

// The six fixed values of the open request: they tell the server which protocol level the client
// speaks.
constexpr std::array<std::uint32_t, 6> kOpenLevel = {0, 0x004B4800, 11, 0, 62651, 3};

bool fits(std::string_view text) {
    return text.size() < kStringField;
}

}  // namespace

// Writes one request into the free end of the send buffer.
class RequestBuilder::Writer {
  public:
    Writer(std::uint8_t* at, RequestCode code, std::size_t size, std::uint32_t serial) : at_(at) {
        u32(static_cast<std::uint32_t>(size));
        u32(kProtocolVersion);
        u32(kRequestIdBase + static_cast<std::uint32_t>(code));
        u32(serial);
    }

    void u32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            *at_++ = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void f32(float value) { u32(std::bit_cast<std::uint32_t>(value)); }
    // A string of fewer than 256 characters, zero-terminated and zero-filled to 256 bytes.
    void text(std::string_view value) {
        std::size_t i = 0;
        for (; i < value.size(); ++i)
            *at_++ = static_cast<std::uint8_t>(value[i]);
        for (; i < kStringField; ++i)
            *at_++ = 0;
    }

  private:
    std::uint8_t* at_;
};

std::uint32_t RequestBuilder::nextSerial() {
    if (++serial_ == 0) serial_ = 1;  // 0 is never a serial number
    return serial_;
}

std::int32_t RequestBuilder::open(std::string_view applicationName) {
    constexpr std::size_t kSize = kHeaderSize + kStringField + 4 * kOpenLevel.size();
    if (!fits(applicationName)) return kStringTooLong;
    if (kBufferSize - used_ < kSize) return kFailed;
    Writer writer(buffer_.data() + used_, RequestCode::Open, kSize, nextSerial());
    writer.text(applicationName);
    for (const std::uint32_t value : kOpenLevel)
        writer.u32(value);
    used_ += kSize;
    return kSuccess;
}

std::int32_t RequestBuilder::addToDataDefinition(std::uint32_t definition, std::string_view datumName,
                                                 std::string_view unitName, std::uint32_t datumType,
                                                 float epsilon, std::uint32_t datumId) {
    constexpr std::size_t kSize = kHeaderSize + 4 + 2 * kStringField + 12;
    if (!fits(datumName) || !fits(unitName)) return kStringTooLong;
    if (kBufferSize - used_ < kSize) return kFailed;
    Writer writer(buffer_.data() + used_, RequestCode::AddToDataDefinition, kSize, nextSerial());
    writer.u32(definition);
    writer.text(datumName);
    writer.text(unitName);
    writer.u32(datumType);
    writer.f32(epsilon);
    writer.u32(datumId);
    used_ += kSize;
    return kSuccess;
}

std::int32_t RequestBuilder::requestDataOnSimObject(std::uint32_t request, std::uint32_t definition,
                                                    std::uint32_t object, std::uint32_t period,
                                                    std::uint32_t flags, std::uint32_t origin,
                                                    std::uint32_t interval, std::uint32_t limit) {
    constexpr std::size_t kSize = kHeaderSize + 8 * sizeof(std::uint32_t);
    if (kBufferSize - used_ < kSize) return kFailed;
    Writer writer(buffer_.data() + used_, RequestCode::RequestDataOnSimObject, kSize, nextSerial());
    for (const std::uint32_t value : {request, definition, object, period, flags, origin, interval, limit})
        writer.u32(value);
    used_ += kSize;
    return kSuccess;
}

std::int32_t RequestBuilder::subscribeToSystemEvent(std::uint32_t event, std::string_view eventName) {
    constexpr std::size_t kSize = kHeaderSize + 4 + kStringField;
    if (!fits(eventName)) return kStringTooLong;
    if (kBufferSize - used_ < kSize) return kFailed;
    Writer writer(buffer_.data() + used_, RequestCode::SubscribeToSystemEvent, kSize, nextSerial());
    writer.u32(event);
    writer.text(eventName);
    used_ += kSize;
    return kSuccess;
}

std::vector<std::uint8_t> RequestBuilder::flush() {
    std::vector<std::uint8_t> packet(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ = 0;
    return packet;
}

}  // namespace tarvelmond::simclient
