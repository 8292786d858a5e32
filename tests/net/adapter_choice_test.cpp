// The sender's choices from what the host and the system give it: the group's address from text, and
// the adapter from the system's list, with the lines a user reads in the log.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/adapter_choice.h"
#include "net/dotted_quad.h"
#include "support/error_log_lines.h"

namespace tarvelmond::test {
namespace {

TEST(DottedQuad, TakesFourDecimalPartsOfAtMost255AndNothingElse) {
    EXPECT_EQ(parseDottedQuad("239.1.2.3"), 0xEF010203U);
    EXPECT_EQ(parseDottedQuad("0.0.0.0"), 0U);
    EXPECT_EQ(parseDottedQuad("255.255.255.255"), 0xFFFFFFFFU);
    // Leading zeros are decimal, never octal, however many there are.
    EXPECT_EQ(parseDottedQuad("239.010.2.3"), 0xEF0A0203U);
    EXPECT_EQ(parseDottedQuad("0239.00000000010.002.0003"), 0xEF0A0203U);
    for (const char* refused :
         {"239.1.2", "239.1.2.300", "239.1.2.x", "1.2.3.4.", "", ".1.2.3", "1..2.3", "1.2.3.4.5", "+1.2.3.4",
          " 1.2.3.4", "1.2.3.4 ", "1.2.3.-4", "0x1.2.3.4", "99999999999999999999999.1.1.1", "256.0.0.1"})
        EXPECT_FALSE(parseDottedQuad(refused).has_value()) << '"' << refused << '"';
    EXPECT_EQ(dottedQuadText(0xC0000201U), "192.0.2.1");
}

platform::NetworkAdapter adapter(const char* name, bool up, bool ethernet, std::uint32_t metric,
                                 std::vector<std::uint32_t> addresses) {
    return {name, up, ethernet, metric, std::move(addresses)};
}

struct Choice {
    std::optional<std::uint32_t> address;
    std::vector<std::string> lines;
};

Choice choose(const std::vector<platform::NetworkAdapter>& adapters) {
    const std::size_t before = logLength();
    ErrorLog log;
    Choice choice{choosePreferredAdapter(adapters, log), {}};
    choice.lines = logMessagesSince(before);
    return choice;
}

int count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST(AdapterChoice, TheWiredAdapterUpWithTheLowestMetricAndItsFirstIpv4Address) {
    const auto choice = choose({
        adapter("Wi-Fi", true, false, 5, {0xC0000205U}),
        adapter("Ethernet 2", false, true, 1, {0xC0000206U}),
        adapter("Ethernet", true, true, 25, {0xC0000207U}),
        adapter("Ethernet 3", true, true, 10, {0xC6336410U, 0xC6336411U}),
    });
    EXPECT_EQ(choice.address, 0xC6336410U);
    EXPECT_EQ(count(choice.lines, "Adapter is active and of type Ethernet."), 2);
    EXPECT_EQ(count(choice.lines, "Adapter is either inactive or not of type Ethernet. Skipping."), 2);
    EXPECT_EQ(count(choice.lines, "Best adapter selected: Ethernet 3 with metric: 10"), 1);
    EXPECT_EQ(count(choice.lines, "Selected adapter IP: 198.51.100.16"), 1);

    const auto tie = choose(
        {adapter("first", true, true, 10, {0xC0000201U}), adapter("second", true, true, 10, {0xC0000202U})});
    EXPECT_EQ(tie.address, 0xC0000201U);
}

TEST(AdapterChoice, NoneWithoutAWiredAdapterUpOrWithoutAnIpv4Address) {
    const auto wireless = choose({adapter("Wi-Fi", true, false, 5, {0xC0000205U})});
    EXPECT_FALSE(wireless.address.has_value());
    ASSERT_FALSE(wireless.lines.empty());
    EXPECT_EQ(wireless.lines.back(), "No suitable adapter found.");
    EXPECT_EQ(logTail(logLength() - 1).front().rfind("[ERROR] [", 0), 0U);

    const auto noAddress = choose({adapter("Ethernet", true, true, 5, {})});
    EXPECT_FALSE(noAddress.address.has_value());
    EXPECT_EQ(noAddress.lines.back(), "Best adapter selected: Ethernet with metric: 5");
}

}  // namespace
}  // namespace tarvelmond::test
