#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/ipv4.h"
#include "platform/route_table.h"

namespace tamro {
namespace {

// As the kernel lists them on a little-endian host: each address's
// network-order bytes printed as one native number.
constexpr const char* listing =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT \n"
    "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0 \n"
    "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0 \n"
    "veth0\t000010AC\t00000000\t0001\t0\t0\t0\t0000F0FF\t0\t0\t0\n"
    "*\t0000000A\t00000000\t0201\t0\t0\t0\t000000FF\t0\t0\t0\n"      // unreachable
    "eth1\t0000A8C0\t00000000\t0000\t0\t0\t0\t0000FFFF\t0\t0\t0\n"   // not up
    "broken line\n";

TEST(RouteTable, ReadsTheUsableRoutesOfALinuxListing) {
    const std::uint32_t probe = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    if (first != 1) {
        GTEST_SKIP() << "the listing above is a little-endian host's";
    }
    const auto routes = parseRouteTable(listing);
    ASSERT_EQ(routes.size(), 3u);
    EXPECT_EQ(routes[0].interfaceName, "eth0");
    EXPECT_EQ(toDottedText(routes[0].destination), "0.0.0.0");
    EXPECT_EQ(toDottedText(routes[0].mask), "0.0.0.0");
    EXPECT_EQ(toDottedText(routes[1].destination), "192.0.2.0");
    EXPECT_EQ(toDottedText(routes[1].mask), "255.255.255.0");
    EXPECT_EQ(routes[2].interfaceName, "veth0");
    EXPECT_EQ(toDottedText(routes[2].destination), "172.16.0.0");
    EXPECT_EQ(toDottedText(routes[2].mask), "255.240.0.0");
}

TEST(RouteTable, NothingButAHeaderOrNothingAtAllIsNoRoute) {
    EXPECT_TRUE(parseRouteTable("").empty());
    EXPECT_TRUE(parseRouteTable("eth0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\n").empty());
    EXPECT_TRUE(parseRouteTable("Iface\n"
                                "eth0\t0000000G\t00000000\t0001\t0\t0\t0\t00000000\n"
                                "eth0\t000000000\t00000000\t0001\t0\t0\t0\t00000000\n")
                    .empty());
}

}  // namespace
}  // namespace tamro
