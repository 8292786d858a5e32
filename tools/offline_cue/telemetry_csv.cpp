#include "telemetry_csv.h"

#include <optional>
#include <ostream>
#include <vector>

#include "input_error.h"
#include "name_suggestion.h"
#include "number_text.h"
#include "text_file.h"

namespace tarvelmond::offline {
namespace {

struct Field {
    std::string_view text;  // without the blanks around it
    int column;             // 1-based position of its first character in the line
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<Field> splitFields(std::string_view line) {
    std::vector<Field> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && isBlank(line[first]))
            ++first;
        while (last > first && isBlank(line[last - 1]))
            --last;
        fields.push_back({line.substr(first, last - first), static_cast<int>(first) + 1});
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

// What a header column feeds; the channels themselves are listed in the table, in column order.
enum class ColumnRole { channel, onGround, time };

std::vector<std::string_view> knownColumnNames() {
    std::vector<std::string_view> names;
    for (const char* name : kGameDataNames) {
        if (name != nullptr) names.emplace_back(name);
    }
    names.emplace_back(kOnGroundColumn);
    names.emplace_back(kTimeColumn);
    return names;
}

class CsvReader {
  public:
    CsvReader(std::string_view text, const std::string& source) : text_(text), source_(source) {
        table_.source = source;
    }

    TelemetryTable read() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);  // spreadsheets' UTF-8 mark
        std::optional<std::string_view> header = nextLine();
        while (header && isBlankLine(*header))
            header = nextLine();
        if (!header) {
            throw InputError(source_, "empty file: expected a header row of column names (channel names, " +
                                          std::string(kOnGroundColumn) + ", " + kTimeColumn + ")");
        }
        const int headerLine = lineNumber_;
        readHeader(*header);
        while (std::optional<std::string_view> line = nextLine()) {
            if (!isBlankLine(*line)) readRow(*line);
        }
        if (table_.rowCount() == 0) throw InputError(source_, headerLine, 0, "no data rows after the header");
        return std::move(table_);
    }

  private:
    static bool isBlankLine(std::string_view line) {
        for (char c : line) {
            if (!isBlank(c)) return false;
        }
        return true;
    }

    std::optional<std::string_view> nextLine() {
        if (position_ >= text_.size()) return std::nullopt;
        const std::size_t end = std::min(text_.find('\n', position_), text_.size());
        std::string_view line = text_.substr(position_, end - position_);
        position_ = end + 1;
        ++lineNumber_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

    [[noreturn]] void fail(int column, const std::string& message) const {
        throw InputError(source_, lineNumber_, column, message);
    }

    void readHeader(std::string_view line) {
        header_ = splitFields(line);
        for (std::size_t i = 0; i < header_.size(); ++i) {
            const Field& field = header_[i];
            if (field.text.empty()) fail(field.column, "empty column name in the header");
            for (std::size_t j = 0; j < i; ++j) {
                if (header_[j].text == field.text) {
                    fail(field.column, "duplicate column \"" + std::string(field.text) +
                                           "\" (first at column " + std::to_string(header_[j].column) + ")");
                }
            }
            roles_.push_back(roleOf(field));
        }
    }

    ColumnRole roleOf(const Field& field) {
        static const std::vector<std::string_view> known = knownColumnNames();
        const std::string name(field.text);
        if (name == kOnGroundColumn) return ColumnRole::onGround;
        if (name == kTimeColumn) return ColumnRole::time;
        const int slot = channelByName(name.c_str());
        if (slot < 0) {
            fail(field.column, "unknown column \"" + name + "\"" + didYouMean(name, known) +
                                   "; columns are the 41 game-data channel names, " + kOnGroundColumn +
                                   " and " + kTimeColumn);
        }
        table_.channels.push_back(static_cast<Channel>(slot));
        return ColumnRole::channel;
    }

    void readRow(std::string_view line) {
        const std::vector<Field> fields = splitFields(line);
        if (fields.size() > header_.size()) {
            fail(fields[header_.size()].column, "row has " + std::to_string(fields.size()) +
                                                    " fields but the header has " +
                                                    std::to_string(header_.size()));
        }
        if (fields.size() < header_.size()) {
            fail(static_cast<int>(line.size()) + 1, "row has " + std::to_string(fields.size()) +
                                                        " fields but the header has " +
                                                        std::to_string(header_.size()) + " (missing \"" +
                                                        std::string(header_[fields.size()].text) + "\")");
        }
        std::uint8_t onGround = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Field& field = fields[i];
            const std::string column(header_[i].text);
            if (field.text.empty()) fail(field.column, "empty field in column \"" + column + "\"");
            const std::optional<double> value = parseNumber(field.text);
            if (!value) {
                fail(field.column, "malformed number \"" + std::string(field.text) + "\" in column \"" +
                                       column +
                                       "\" (expected a finite decimal number such as -1.25 or 3e-2)");
            }
            switch (roles_[i]) {
                case ColumnRole::channel:
                    table_.values.push_back(*value);
                    break;
                case ColumnRole::onGround:
                    if (*value != 0.0 && *value != 1.0) {
                        fail(field.column, std::string(kOnGroundColumn) +
                                               " must be 0 (in the air) or 1 (on the "
                                               "ground), found \"" +
                                               std::string(field.text) + "\"");
                    }
                    onGround = *value == 1.0 ? 1 : 0;
                    break;
                case ColumnRole::time:
                    table_.timeS.push_back(*value);
                    break;
            }
        }
        table_.onGround.push_back(onGround);
    }

    std::string_view text_;
    std::string source_;
    std::size_t position_ = 0;
    int lineNumber_ = 0;
    std::vector<Field> header_;
    std::vector<ColumnRole> roles_;
    TelemetryTable table_;
};

}  // namespace

TelemetryTable parseTelemetryCsv(std::string_view text, const std::string& source) {
    return CsvReader(text, source).read();
}

TelemetryTable readTelemetryCsv(const std::filesystem::path& path) {
    const std::string text = readTextFile(path);
    return parseTelemetryCsv(text, path.string());
}

void writeTelemetryCsv(std::ostream& out, const TelemetryTable& table) {
    const bool hasTime = !table.timeS.empty();
    std::string line;
    if (hasTime) line += std::string(kTimeColumn) + ",";
    for (Channel channel : table.channels)
        line += std::string(kGameDataNames[static_cast<int>(channel) - 1]) + ",";
    line += kOnGroundColumn;
    out << line << '\n';
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        line.clear();
        if (hasTime) {
            appendNumber(line, table.timeS[r]);
            line += ',';
        }
        for (double value : table.row(r)) {
            appendNumber(line, value);
            line += ',';
        }
        line += table.onGround[r] != 0 ? '1' : '0';
        out << line << '\n';
    }
}

}  // namespace tarvelmond::offline
