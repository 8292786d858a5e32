// The product loaded by name, as a host loads it: WindSerial's members are exported under GCC's names,
// and the flat initWindSerial configures the library's own instance.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <fstream>
#include <regex>
#include <sstream>

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
        const auto slash = self.find_last_of("/\\");
        return platform::DynamicLibrary(
            (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" +
            platform::productLibraryName());
    }();
    return besideProgram;
}

std::string publicHeader() {
    for (const std::string prefix : {"", "Z:"}) {
        std::ifstream in(prefix + TARVELMOND_SOURCE_DIR "/include/tarvelmond.h");
        if (in) {
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }
    }
    return {};
}

TEST(WindExports, EveryMemberTheHeaderListsIsExported) {
    auto& library = product();
    ASSERT_TRUE(library.loaded()) << library.error();
    const std::string header = publicHeader();
    ASSERT_FALSE(header.empty());
    const std::regex member("exported member: ([A-Za-z0-9_]+)");
    int count = 0;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), member); it != std::sregex_iterator();
         ++it) {
        EXPECT_NE(library.symbol((*it)[1].str().c_str()), nullptr) << (*it)[1].str();
        ++count;
    }
    EXPECT_GE(count, 12) << "constructor, destructor and the members of the class";
}

TEST(WindExports, InitWindSerialThroughTheLibrary) {
    auto& library = product();
    ASSERT_TRUE(library.loaded()) << library.error();
    auto init = library.function<int (*)(const tarvelmond_utf16*, int, const tarvelmond_utf16*, unsigned)>(
        "initWindSerial");
    ASSERT_NE(init, nullptr);
    WindPeer peer(uniqueComNumber(5));
    ASSERT_TRUE(peer.ready());
    std::basic_string<tarvelmond_utf16> port;
    for (char c : peer.comName())
        port.push_back(static_cast<tarvelmond_utf16>(c));
    const tarvelmond_utf16 mode[] = {'8', 'N', '1', 0};
    const tarvelmond_utf16 noPort[] = {'C', 'O', 'M', '0', 0};
    EXPECT_EQ(init(port.c_str(), 115200, mode, 10), 1);
    EXPECT_EQ(init(noPort, 115200, mode, 10), 0);
}

}  // namespace
}  // namespace tarvelmond::test
