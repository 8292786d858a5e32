#pragma once
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace tarvelmond::test {

// Every function name the product exports, as hosts resolve them.
const std::vector<std::string>& exportedFunctionNames();

// The built product, loaded by name the way a host loads it (found beside the test program).
platform::DynamicLibrary& productLibrary();

}  // namespace tarvelmond::test
