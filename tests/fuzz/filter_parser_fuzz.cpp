// Any byte string either fails to parse or yields a chain whose every result is finite, whatever the
// input value and however long its state runs.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "filter/filter_chain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto chain = tarvelmond::parseFilterString(text.c_str());
    if (!chain.valid) return 0;

    constexpr double kInputs[] = {0.0,
                                  1.0,
                                  -2.5,
                                  1e-300,
                                  1e15,
                                  -1e300,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (int round = 0; round < 3; ++round) {
        for (double x : kInputs) {
            if (!std::isfinite(tarvelmond::evaluateFilterChain(chain, x))) std::abort();
        }
    }
    return 0;
}
