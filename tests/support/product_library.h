#pragma once
#include "platform/dynamic_library.h"

namespace tarvelmond::test {

// The built product, loaded by name the way a host loads it (found beside the test program).
platform::DynamicLibrary& productLibrary();

}  // namespace tarvelmond::test
