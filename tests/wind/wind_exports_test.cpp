// The flat initWindSerial through the product loaded by name (WindSerial's member exports: tests/api).
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include "peers/virtual_controller.h"
#include "support/product_library.h"

namespace tarvelmond::test {
namespace {

// The product by name, as a host loads it. Sanitizer runtimes intercept dlopen and lose the program's
// run path; there the library is loaded from beside the program instead.
platform::DynamicLibrary& product() {
    if (productLibrary().loaded()) return productLibrary();
    static platform::DynamicLibrary besideProgram = [] {
        std::string self = testing::internal::GetArgvs()[0];
        return platform::DynamicLibrary(self.substr(0, self.find_last_of("/\\") + 1) +
                                        platform::productLibraryName());
    }();
    return besideProgram;
}

TEST(WindExports, InitWindSerialTakesUtf16NamesAndRefusesWhatIsNoPort) {
    ASSERT_TRUE(product().loaded()) << product().error();
    auto init = product().function<int (*)(const tarvelmond_utf16*, int, const tarvelmond_utf16*, unsigned)>(
        "initWindSerial");
    ASSERT_NE(init, nullptr);
    WindPeer peer(uniqueComNumber(5));
    ASSERT_TRUE(peer.ready());
    const std::string name = peer.comName();
    const std::basic_string<tarvelmond_utf16> port(name.begin(), name.end());
    const tarvelmond_utf16 mode[] = {'8', 'N', '1', 0};
    const tarvelmond_utf16 noPort[] = {'C', 'O', 'M', '0', 0};
    EXPECT_EQ(init(port.c_str(), 115200, mode, 10), 1);
    EXPECT_EQ(init(noPort, 115200, mode, 10), 0);
}

}  // namespace
}  // namespace tarvelmond::test
