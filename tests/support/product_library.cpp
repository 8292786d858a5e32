#include "support/product_library.h"

namespace tarvelmond::test {

platform::DynamicLibrary& productLibrary() {
    static platform::DynamicLibrary library(platform::productLibraryName());
    return library;
}

}  // namespace tarvelmond::test
