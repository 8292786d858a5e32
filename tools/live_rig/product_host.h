#pragma once
#include <string>

#include "product_exports.h"
#include "rig_profile.h"

namespace tarvelmond::rig {

// The product loaded by name, as a motion host loads it, and the rig profile installed through it.
class ProductHost : public host::ProductExports {
  public:
    // Sets limits, filter strings, active axes and belt mix through the exports; false (with the
    // channel named in `error`) when the library rejects a filter string.
    bool install(const offline::RigProfile& profile, std::string& error);
};

}  // namespace tarvelmond::rig
