#include <algorithm>
#include <cctype>

#include "platform/profile_file.h"
#include "platform/text_case.h"

namespace tarvelmond::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// Walks the lines of one file. Only views into the text are made, so a file of any length or with
// lines of any length costs no memory beyond its own.
class ProfileLines {
  public:
    explicit ProfileLines(std::string_view text) : rest_(text) {
        if (rest_.starts_with("\xEF\xBB\xBF")) rest_.remove_prefix(3);  // a UTF-8 byte-order mark
    }

    bool next(std::string_view& line) {
        if (done_) return false;
        const std::size_t end = rest_.find('\n');
        if (end == std::string_view::npos) {
            line = trimmed(rest_);
            done_ = true;
        } else {
            line = trimmed(rest_.substr(0, end));
            rest_.remove_prefix(end + 1);
        }
        return true;
    }

  private:
    std::string_view rest_;
    bool done_ = false;
};

bool isComment(std::string_view line) {
    return line.starts_with(';');
}

// The name of a "[name]" line, or nothing for any other line.
bool sectionName(std::string_view line, std::string_view& name) {
    if (!line.starts_with('[')) return false;
    line.remove_prefix(1);
    name = trimmed(line.substr(0, line.find(']')));
    return true;
}

// Calls `entry(key, value)` for each entry of the first section called `section`, until it returns
// true.
template <typename Entry>
void forEachEntry(std::string_view text, std::string_view section, Entry&& entry) {
    ProfileLines lines(text);
    bool inside = false;
    for (std::string_view line; lines.next(line);) {
        if (std::string_view name; sectionName(line, name)) {
            if (inside) return;  // later sections of the same name are not read
            inside = sameIgnoringCase(name, section);
            continue;
        }
        if (!inside || line.empty() || isComment(line)) continue;
        const std::size_t equals = line.find('=');
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : trimmed(line.substr(equals + 1));
        if (entry(key, value)) return;
    }
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::string profileTextValue(std::string_view text, std::string_view section, std::string_view key) {
    std::string result;
    forEachEntry(text, section, [&](std::string_view name, std::string_view value) {
        if (!sameIgnoringCase(name, key)) return false;
        const std::string_view kept = unquoted(value);
        result.assign(kept.substr(0, kProfileValueMax));
        return true;
    });
    return result;
}

bool profileTextSectionHasEntries(std::string_view text, std::string_view section) {
    bool found = false;
    forEachEntry(text, section, [&](std::string_view, std::string_view) { return found = true; });
    return found;
}

}  // namespace tarvelmond::platform
