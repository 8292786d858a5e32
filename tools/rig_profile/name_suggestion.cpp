#include "name_suggestion.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tarvelmond::offline {
namespace {

// Case-insensitive edit distance: a header written in capitals is still the same name to a person.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

}  // namespace

std::string closestName(std::string_view wrong, std::span<const std::string_view> candidates) {
    const std::size_t tolerance = std::max<std::size_t>(1, std::min<std::size_t>(3, wrong.size() / 3));
    std::string best;
    std::size_t bestDistance = tolerance + 1;
    for (std::string_view candidate : candidates) {
        const std::size_t distance = editDistance(wrong, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

std::string didYouMean(std::string_view wrong, std::span<const std::string_view> candidates) {
    const std::string best = closestName(wrong, candidates);
    return best.empty() ? std::string() : " (did you mean \"" + best + "\"?)";
}

}  // namespace tarvelmond::offline
