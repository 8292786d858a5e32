// The only translation unit that sees the TOML library: it is large, and nothing else needs it.
#include "profile_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "dof_names.h"
#include "input_error.h"
#include "name_suggestion.h"
#include "text_file.h"

namespace tarvelmond::offline {
namespace {

constexpr std::array<std::string_view, 2> kProfileKeys = {"air", "ground"};
constexpr std::array<std::string_view, 6> kTopKeys = {"air",   "ground", "limits",
                                                      "timer", "wind",   "motion_compensation"};
constexpr std::array<std::string_view, 3> kAirKeys = {"filters", "inactive", "belt_mix"};
constexpr std::array<std::string_view, 2> kGroundKeys = {"filters", "inactive"};
constexpr std::array<std::string_view, 2> kLimitKeys = {"input", "rig"};
constexpr std::array<std::string_view, 1> kTimerKeys = {"precise"};
constexpr std::array<std::string_view, 4> kWindKeys = {"port", "baud", "mode", "interval_ms"};
constexpr std::array<std::string_view, 3> kCompensationKeys = {"enabled", "gain", "smoothing"};
// The belt sum reads the AIR profile's weights at the indices of these axes.
constexpr std::array<std::string_view, 4> kBeltMixKeys = {"longitudinal", "vertical", "roll", "pitch"};

class ProfileReader {
  public:
    ProfileReader(std::string_view text, const std::string& source) : text_(text) {
        profile_.source = source;
    }

    RigProfile read() {
        toml::table root;
        try {
            root = toml::parse(text_, std::string_view(profile_.source));
        } catch (const toml::parse_error& error) {
            const auto& begin = error.source().begin;
            throw InputError(profile_.source, static_cast<int>(begin.line), static_cast<int>(begin.column),
                             std::string(error.description()));
        }
        checkKeys(root, kTopKeys, "");
        for (std::size_t p = 0; p < kProfileKeys.size(); ++p) {
            if (const toml::node* node = root.get(kProfileKeys[p])) readProfile(*node, static_cast<int>(p));
        }
        if (const toml::node* node = root.get("limits")) readLimits(*node);
        if (const toml::node* node = root.get("timer")) readTimer(*node);
        if (const toml::node* node = root.get("wind")) readWind(*node);
        if (const toml::node* node = root.get("motion_compensation")) readCompensation(*node);
        addWarnings();
        return std::move(profile_);
    }

  private:
    [[noreturn]] void fail(const toml::source_region& where, const std::string& message) const {
        throw InputError(profile_.source, static_cast<int>(where.begin.line),
                         static_cast<int>(where.begin.column), message);
    }

    static SourcePlace placeOf(const toml::node& node) {
        return {static_cast<int>(node.source().begin.line), static_cast<int>(node.source().begin.column)};
    }

    static std::string joined(std::string_view prefix, std::string_view key) {
        return prefix.empty() ? std::string(key) : std::string(prefix) + "." + std::string(key);
    }

    const toml::table& asTable(const toml::node& node, const std::string& path) const {
        const toml::table* table = node.as_table();
        if (table == nullptr) fail(node.source(), "\"" + path + "\" must be a table");
        return *table;
    }

    template <std::size_t N>
    void checkKeys(const toml::table& table, const std::array<std::string_view, N>& allowed,
                   const std::string& path) const {
        for (auto&& [key, value] : table) {
            if (std::find(allowed.begin(), allowed.end(), key.str()) != allowed.end()) continue;
            std::string expected;
            for (std::string_view name : allowed)
                expected += (expected.empty() ? "" : ", ") + std::string(name);
            fail(key.source(), "unknown key \"" + joined(path, key.str()) + "\"" +
                                   didYouMean(key.str(), allowed) + "; expected one of: " + expected);
        }
    }

    int dofOf(const toml::key& key, const std::string& path) const {
        if (const std::optional<int> dof = dofByName(key.str())) return *dof;
        fail(key.source(), "unknown DOF channel \"" + joined(path, key.str()) + "\"" +
                               didYouMean(key.str(), kDofNames) + "; channels are named " +
                               std::string(kDofNames[0]) + ", " + std::string(kDofNames[1]) + ", ... " +
                               std::string(kDofNames[kDofChannels - 1]));
    }

    double numberOf(const toml::node& node, const std::string& path) const {
        if (!node.is_number()) fail(node.source(), "\"" + path + "\" must be a number");
        return node.value<double>().value_or(0.0);
    }

    bool flagOf(const toml::node& node, const std::string& path) const {
        const toml::value<bool>* flag = node.as_boolean();
        if (flag == nullptr) fail(node.source(), "\"" + path + "\" must be true or false");
        return flag->get();
    }

    std::string textOf(const toml::node& node, const std::string& path) const {
        const toml::value<std::string>* text = node.as_string();
        if (text == nullptr) fail(node.source(), "\"" + path + "\" must be a string");
        return text->get();
    }

    // A whole number in [low, high].
    long long countOf(const toml::node& node, const std::string& path, long long low, long long high) const {
        const toml::value<std::int64_t>* number = node.as_integer();
        if (number == nullptr) fail(node.source(), "\"" + path + "\" must be a whole number");
        if (number->get() < low || number->get() > high) {
            fail(node.source(),
                 "\"" + path + "\" must lie between " + std::to_string(low) + " and " + std::to_string(high));
        }
        return number->get();
    }

    void readTimer(const toml::node& node) {
        const toml::table& table = asTable(node, "timer");
        checkKeys(table, kTimerKeys, "timer");
        if (const toml::node* precise = table.get("precise"))
            profile_.preciseTimer = flagOf(*precise, "timer.precise");
    }

    void readWind(const toml::node& node) {
        const toml::table& table = asTable(node, "wind");
        checkKeys(table, kWindKeys, "wind");
        const toml::node* port = table.get("port");
        if (port == nullptr) fail(table.source(), "\"wind\" needs a \"port\", such as \"COM5\"");
        WindDevice wind;
        wind.port = textOf(*port, "wind.port");
        if (wind.port.empty()) fail(port->source(), "\"wind.port\" must name a port, such as \"COM5\"");
        if (const toml::node* baud = table.get("baud"))
            wind.baud = static_cast<int>(countOf(*baud, "wind.baud", 50, 4000000));
        if (const toml::node* mode = table.get("mode")) wind.mode = textOf(*mode, "wind.mode");
        if (const toml::node* interval = table.get("interval_ms"))
            wind.intervalMs = static_cast<unsigned>(countOf(*interval, "wind.interval_ms", 1, 60000));
        profile_.wind = wind;
    }

    void readCompensation(const toml::node& node) {
        const toml::table& table = asTable(node, "motion_compensation");
        checkKeys(table, kCompensationKeys, "motion_compensation");
        MotionCompensation compensation;
        if (const toml::node* enabled = table.get("enabled"))
            compensation.enabled = flagOf(*enabled, "motion_compensation.enabled");
        if (const toml::node* gain = table.get("gain")) {
            compensation.gain = numberOf(*gain, "motion_compensation.gain");
            if (!std::isfinite(*compensation.gain))
                fail(gain->source(), "\"motion_compensation.gain\" must be a finite number");
        }
        if (const toml::node* smoothing = table.get("smoothing")) {
            compensation.smoothing = numberOf(*smoothing, "motion_compensation.smoothing");
            if (!std::isfinite(*compensation.smoothing))
                fail(smoothing->source(), "\"motion_compensation.smoothing\" must be a finite number");
        }
        profile_.motionCompensation = compensation;
    }

    void readProfile(const toml::node& node, int index) {
        const std::string path(kProfileKeys[static_cast<std::size_t>(index)]);
        const toml::table& table = asTable(node, path);
        if (index == kAirProfile) {
            checkKeys(table, kAirKeys, path);
        } else {
            if (table.contains("belt_mix")) {
                fail(table.get("belt_mix")->source(),
                     "\"ground.belt_mix\" has no effect: the belt sum reads the weights of the air profile "
                     "only");
            }
            checkKeys(table, kGroundKeys, path);
        }
        ProfileSettings& settings = profile_.profiles[static_cast<std::size_t>(index)];
        if (const toml::node* filters = table.get("filters"))
            readFilters(*filters, path + ".filters", settings);
        if (const toml::node* inactive = table.get("inactive"))
            readInactive(*inactive, path + ".inactive", settings);
        if (const toml::node* belt = table.get("belt_mix")) readBeltMix(*belt, path + ".belt_mix");
    }

    void readFilters(const toml::node& node, const std::string& path, ProfileSettings& settings) const {
        for (auto&& [key, value] : asTable(node, path)) {
            const int dof = dofOf(key, path);
            const std::string entry = joined(path, key.str());
            const toml::value<std::string>* text = value.as_string();
            if (text == nullptr)
                fail(value.source(), "\"" + entry + "\" must be a filter string, such as \"GAIN(VALUE;1)\"");
            settings.filters[static_cast<std::size_t>(dof)] = FilterSetting{text->get(), placeOf(value)};
        }
    }

    void readInactive(const toml::node& node, const std::string& path, ProfileSettings& settings) const {
        const toml::array* names = node.as_array();
        if (names == nullptr) fail(node.source(), "\"" + path + "\" must be an array of DOF channel names");
        std::set<int> seen;
        for (const toml::node& element : *names) {
            const toml::value<std::string>* name = element.as_string();
            if (name == nullptr)
                fail(element.source(), "\"" + path + "\" must hold DOF channel names (strings)");
            const std::optional<int> dof = dofByName(name->get());
            if (!dof) {
                fail(element.source(), "unknown DOF channel \"" + name->get() + "\" in \"" + path + "\"" +
                                           didYouMean(name->get(), kDofNames));
            }
            if (!seen.insert(*dof).second)
                fail(element.source(), "\"" + name->get() + "\" is listed twice in \"" + path + "\"");
            settings.active[static_cast<std::size_t>(*dof)] = false;
        }
    }

    void readBeltMix(const toml::node& node, const std::string& path) {
        for (auto&& [key, value] : asTable(node, path)) {
            if (std::find(kBeltMixKeys.begin(), kBeltMixKeys.end(), key.str()) == kBeltMixKeys.end()) {
                fail(key.source(), "\"" + joined(path, key.str()) + "\" is never read" +
                                       didYouMean(key.str(), kBeltMixKeys) +
                                       "; the belt sum weighs longitudinal, vertical, roll and pitch");
            }
            const int index = *dofByName(key.str());
            profile_.beltMix.emplace_back(index, numberOf(value, joined(path, key.str())));
        }
    }

    void readLimits(const toml::node& node) {
        const toml::table& table = asTable(node, "limits");
        checkKeys(table, kLimitKeys, "limits");
        if (const toml::node* input = table.get("input")) {
            readLimitTable(
                *input, "limits.input", kClampedChannels, profile_.inputLimits,
                "only the first eight channels (lateral to longitudinal_tilt) are clamped to input "
                "limits");
        }
        if (const toml::node* rig = table.get("rig")) {
            readLimitTable(*rig, "limits.rig", kRigAxes, profile_.rigLimits,
                           "the output frame carries the six axes lateral to pitch only");
        }
    }

    void readLimitTable(const toml::node& node, const std::string& path, int channels,
                        std::array<std::optional<Limit>, kDofChannels>& limits,
                        const std::string& why) const {
        for (auto&& [key, value] : asTable(node, path)) {
            const int dof = dofOf(key, path);
            const std::string entry = joined(path, key.str());
            if (dof >= channels) fail(key.source(), "\"" + entry + "\" has no effect: " + why);
            const toml::array* pair = value.as_array();
            if (pair == nullptr || pair->size() != 2)
                fail(value.source(), "\"" + entry + "\" must be [min, max]");
            const double min = numberOf(*pair->get(0), entry + "[0]");
            const double max = numberOf(*pair->get(1), entry + "[1]");
            if (min > max) fail(value.source(), "\"" + entry + "\" has its minimum above its maximum");
            limits[static_cast<std::size_t>(dof)] = Limit{min, max};
        }
    }

    void addWarnings() {
        const ProfileSettings& ground = profile_.profiles[kGroundProfile];
        for (int dof = kWeightedChannels; dof < kDofChannels; ++dof) {
            if (ground.filters[static_cast<std::size_t>(dof)]) {
                profile_.warnings.push_back(
                    "ground.filters." + std::string(kDofNames[static_cast<std::size_t>(dof)]) +
                    " is never evaluated: the ground profile shapes channels lateral to "
                    "pitch_position only");
            }
        }
        for (int dof = 0; dof < kClampedChannels; ++dof) {
            const auto d = static_cast<std::size_t>(dof);
            const bool shaped =
                (profile_.profiles[kAirProfile].filters[d] && profile_.profiles[kAirProfile].active[d]) ||
                (ground.filters[d] && ground.active[d]);
            if (shaped && !profile_.inputLimits[d]) {
                profile_.warnings.push_back(
                    "limits.input." + std::string(kDofNames[d]) +
                    " is not set: the channel's input is clamped to [0, 0], so its filters "
                    "see 0 whatever the telemetry says");
            }
        }
    }

    std::string_view text_;
    RigProfile profile_;
};

}  // namespace

RigProfile parseProfileFile(std::string_view text, const std::string& source) {
    return ProfileReader(text, source).read();
}

RigProfile readProfileFile(const std::filesystem::path& path) {
    const std::string text = readTextFile(path);
    return parseProfileFile(text, path.string());
}

}  // namespace tarvelmond::offline
