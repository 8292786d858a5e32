#pragma once
#include "platform/dynamic_library.h"

namespace tarvelmond::test {

// The built product, loaded by name the way a host loads it (found beside the test program).
platform::DynamicLibrary& productLibrary();

// An exported function of the product as a host resolves it, e.g. exported<int()>("getGameID").
template <typename Signature>
Signature* exported(const char* name) {
    return productLibrary().function<Signature*>(name);
}

}  // namespace tarvelmond::test
