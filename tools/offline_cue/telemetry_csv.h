#pragma once
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

#include "telemetry_table.h"

namespace tarvelmond::offline {

// Reads a telemetry CSV: a header row of column names (any of the 41 game-data channel names,
// on_ground, time_s, each at most once, in any order), then one row of numbers per tick. Throws
// InputError naming file, line and column for anything it cannot take.
TelemetryTable parseTelemetryCsv(std::string_view text, const std::string& source);
TelemetryTable readTelemetryCsv(const std::filesystem::path& path);

// Writes a table in the same format, with every value exact.
void writeTelemetryCsv(std::ostream& out, const TelemetryTable& table);

}  // namespace tarvelmond::offline
