#pragma once
#include "product_exports.h"

namespace tarvelmond::rig_safety {

// The library the scenarios drive, loaded by name with its exports.
using Product = host::ProductExports;
using host::utf16;

}  // namespace tarvelmond::rig_safety
