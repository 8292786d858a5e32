#pragma once
#include <algorithm>
#include <cctype>
#include <string_view>

namespace tarvelmond {

// Names typed by people (configuration keys, a game's text keys) match whatever their letter case.
inline bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace tarvelmond
