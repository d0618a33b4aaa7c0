#include "platform/ipv4.h"

#include <gtest/gtest.h>

#include <optional>

namespace tamro {
namespace {

TEST(Ipv4Text, ParsesDottedDecimalInNetworkOrder) {
    EXPECT_EQ(parseDottedText("192.168.1.10"), Ipv4::fromOctets(192, 168, 1, 10));
    EXPECT_EQ(parseDottedText("0.0.0.0"), Ipv4{});
    EXPECT_EQ(parseDottedText("255.255.255.255"), limitedBroadcast);
    EXPECT_EQ(parseDottedText("010.001.0.7"), Ipv4::fromOctets(10, 1, 0, 7));
    EXPECT_EQ(parseDottedText("10.77.0.1")->hostOrder(), 0x0A4D0001u);
}

TEST(Ipv4Text, RejectsAnythingButFourSmallNumbers) {
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1.2.3.256", "1..2.3", ".1.2.3",
                             "1.2.3.", " 1.2.3.4", "1.2.3.4 ", "0001.2.3.4", "-1.2.3.4", "+1.2.3.4",
                             "1.2.3.4x", "a.b.c.d", "99999999999.0.0.0"}) {
        EXPECT_EQ(parseDottedText(text), std::nullopt) << text;
    }
}

TEST(Ipv4Text, PrintsWhatItParses) {
    EXPECT_EQ(toDottedText(Ipv4::fromOctets(172, 16, 5, 9)), "172.16.5.9");
    EXPECT_EQ(toDottedText(limitedBroadcast), "255.255.255.255");
    EXPECT_EQ(toDottedText(Ipv4{}), "0.0.0.0");
    EXPECT_EQ(toDottedText(*parseDottedText("010.001.0.7")), "10.1.0.7");
    EXPECT_EQ(Ipv4::fromHostOrder(0xC0A8010Au), Ipv4::fromOctets(192, 168, 1, 10));
}

}  // namespace
}  // namespace tamro
