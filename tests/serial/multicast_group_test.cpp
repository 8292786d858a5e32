// setMulticastAddr as the host calls it: a valid group is taken with its port and logged; anything
// else changes nothing, the port included, and the log names the group kept.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <string>

#include "serial/link_state.h"
#include "support/error_log_lines.h"

namespace tarvelmond::test {
namespace {

std::string lastLine() {
    return logMessagesSince(logLength() - 1).front();
}

TEST(MulticastGroup, TakesOnlyADottedQuadAndLogsEitherWay) {
    LinkState& s = link();
    setMulticastAddr("239.1.2.3", 5000);
    EXPECT_EQ(lastLine(),
              "UDP Controller Thread: Validated multicast IP address. using Multicast address: 239.1.2.3 and "
              "Port: 5000");
    EXPECT_EQ(s.multicastGroup.load().address, 0xEF010203U);
    EXPECT_EQ(s.multicastGroup.load().port, 5000);

    const std::string longText = "1" + std::string(100, '.');
    for (const char* refused : {"239.1.2", "239.1.2.300", "239.1.2.x", "1.2.3.4.", "",
                                static_cast<const char*>(nullptr), longText.c_str()}) {
        setMulticastAddr(refused, 6000);
        EXPECT_EQ(lastLine(),
                  "UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast "
                  "address: 239.1.2.3 and Port: 5000");
        EXPECT_EQ(s.multicastGroup.load().port, 5000);
    }
    // Leading zeros are decimal: the group is 239.10.2.3, not the octal 239.8.2.3.
    setMulticastAddr("239.010.2.3", 5001);
    EXPECT_EQ(s.multicastGroup.load().address, 0xEF0A0203U);
    s.multicastGroup.store(kDefaultMulticastGroup);
}

}  // namespace
}  // namespace tarvelmond::test
