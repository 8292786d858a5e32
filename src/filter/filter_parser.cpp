#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "filter/filter_chain.h"

namespace tarvelmond {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// `digits` is what follows "0x". The conversions mirror strtoll (negative, 64-bit) and strtoul (positive,
// whose unsigned long is 32 bits on the target platform) but do not depend on the C library: "0x" with no
// digit at all is refused by from_chars, where C libraries disagree about whether it reads as 0.
std::optional<double> hexNumber(std::string_view digits, bool negative) {
    if (!std::all_of(digits.begin(), digits.end(), isHexDigit)) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, 16);
    if (error != std::errc()) {
        return std::nullopt;
    }
    if (negative) {
        if (magnitude > (std::uint64_t{1} << 63)) {
            return std::nullopt;
        }
        // Unsigned negation and the modular conversion give INT64_MIN for 2^63 without signed overflow.
        return static_cast<double>(static_cast<std::int64_t>(std::uint64_t{0} - magnitude));
    }
    if (magnitude > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<double>(magnitude);
}

// Reads the longest leading number as strtod would in the classic locale. from_chars is used because it
// ignores the process locale: a host running under, say, a German locale would otherwise stop strtod at
// the '.'. It differs from strtod only in refusing a leading '+', which is therefore taken off here.
std::optional<double> decimalNumber(std::string token) {
    std::replace(token.begin(), token.end(), ',', '.');
    const bool allowed = std::all_of(token.begin(), token.end(), [](char c) {
        return isDecimalDigit(c) || c == '+' || c == '-' || c == '.';
    });
    if (!allowed) {
        return std::nullopt;
    }

    const char* first = token.data();
    const char* const last = first + token.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && (*first == '+' || *first == '-')) {
            return std::nullopt;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return value;
}

struct OperatorSyntax {
    std::string_view name;
    FilterKind kind;
    int argumentCount;
};

// VALUE is deliberately absent: it is only ever written bare.
constexpr std::array<OperatorSyntax, 13> kOperators{{
    {"EMALP", EMALP, 1},
    {"EMAHP", EMAHP, 1},
    {"GAIN", GAIN, 1},
    {"MUL", MUL, 1},
    {"ROLLOVER", ROLLOVER, 1},
    {"CROP", CROP, 2},
    {"LOGISTIC", LOGISTIC, 2},
    {"REMAP", REMAP, 4},
    {"NOISE", NOISE, 3},
    {"BITSCALE", BITSCALE, 2},
    {"BITSCALESIGNED", BITSCALESIGNED, 2},
    {"SINUS", SINUS, 2},
    {"ABS", ABS, 0},
}};

const OperatorSyntax* findOperator(std::string_view writtenName) {
    std::string name(trimmed(writtenName));
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto found = std::find_if(kOperators.begin(), kOperators.end(),
                                    [&](const OperatorSyntax& op) { return op.name == name; });
    return found == kOperators.end() ? nullptr : &*found;
}

// The range checks look at the arguments as written, before they are narrowed to float.
bool argumentsAccepted(FilterKind kind, const std::array<double, 4>& p) {
    switch (kind) {
        case EMALP:
        case EMAHP:
            return p[0] >= 1.0;
        case REMAP:
            return std::abs(p[1] - p[0]) >= 1e-9;
        default:
            return true;
    }
}

// Real chains are a handful of stages. A bound keeps a hostile string from costing quadratic time to
// parse (each stage copies the text inside it).
constexpr int kMostStages = 100;

// Peels operators off from the outside in; returns no stages for any text that is not a chain.
std::vector<FilterSys> parseChain(std::string text) {
    std::vector<FilterSys> stages;
    for (int stage = 0; stage < kMostStages; ++stage) {
        if (text == "VALUE") {
            stages.push_back(makeFilterStage(VALUE, 0.0f, 0.0f, 0.0f, 0.0f));
            return stages;
        }

        const std::size_t open = text.find('(');
        const std::size_t close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) {
            return {};
        }

        const OperatorSyntax* op = findOperator(std::string_view(text).substr(0, open));
        if (op == nullptr) {
            return {};
        }

        std::string arguments = text.substr(open + 1, close - open - 1);
        std::array<double, 4> p{};
        if (op->argumentCount == 0) {
            double surplus = 0.0;
            if (popLastNumber(arguments, surplus)) {
                return {};
            }
        }
        for (int i = op->argumentCount - 1; i >= 0; --i) {
            if (!popLastNumber(arguments, p[i])) {
                return {};
            }
        }
        if (!argumentsAccepted(op->kind, p)) {
            return {};
        }

        stages.push_back(makeFilterStage(op->kind, static_cast<float>(p[0]), static_cast<float>(p[1]),
                                         static_cast<float>(p[2]), static_cast<float>(p[3])));
        // Not trimmed again: a blank next to VALUE makes the inner text fail.
        text = std::move(arguments);
    }
    return {};
}

}  // namespace

bool popLastNumber(std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    const std::size_t semicolon = text.rfind(';');
    if (semicolon == std::string::npos || semicolon + 1 == text.size()) {
        return false;
    }

    const std::string_view token = trimmed(std::string_view(text).substr(semicolon + 1));
    const bool negative = !token.empty() && token.front() == '-';
    const std::string_view unsignedPart = token.substr(negative ? 1 : 0);
    const bool hexadecimal = unsignedPart.substr(0, 2) == "0x";
    const std::optional<double> number =
        hexadecimal ? hexNumber(unsignedPart.substr(2), negative) : decimalNumber(std::string(token));
    if (!number) {
        return false;
    }

    value = *number;
    text.erase(semicolon);
    return true;
}

FilterChain parseFilterString(const char* text) {
    FilterChain chain{.stages = parseChain(std::string(trimmed(text != nullptr ? text : ""))), .valid = true};
    if (chain.stages.empty()) {
        // The caller always gets a chain; a rejected string yields one that evaluates to 0.
        chain.stages.push_back(FilterSys{});
        chain.valid = false;
    }
    return chain;
}

}  // namespace tarvelmond
