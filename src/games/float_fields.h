#pragma once
#include <span>

#include "games/byte_view.h"
#include "games/telemetry_record.h"

namespace tarvelmond {

// One value of a game's fixed layout: the little-endian float at `offset`, times `factor` (units and
// the record's sign convention), goes to `channel`.
struct FloatField {
    Channel channel;
    std::size_t offset;
    double factor;
};

// Copies every field of a layout into the record; the caller has checked that the bytes reach the
// last field.
inline void readFloatFields(const ByteView& bytes, std::span<const FloatField> fields,
                            TelemetryRecord& record) {
    for (const FloatField& field : fields)
        record.set(field.channel, static_cast<double>(bytes.f32le(field.offset)) * field.factor);
}

}  // namespace tarvelmond
