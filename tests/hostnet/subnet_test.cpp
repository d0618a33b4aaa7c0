#include "hostnet/subnet.h"

#include <gtest/gtest.h>

namespace tamro {
namespace {

TEST(SameSubnet, ComparesTheMaskedAddresses) {
    const Ipv4 address = Ipv4::fromOctets(192, 168, 1, 10);
    const Ipv4 mask24 = Ipv4::fromOctets(255, 255, 255, 0);
    EXPECT_EQ(sameSubnet(address, mask24, Ipv4::fromOctets(192, 168, 1, 200)), 1);
    EXPECT_EQ(sameSubnet(address, mask24, Ipv4::fromOctets(192, 168, 2, 10)), 0);
}

TEST(SameSubnet, AllZeroMaskTakesEveryoneAndFullMaskOnlyTheAddress) {
    const Ipv4 address = Ipv4::fromOctets(10, 77, 0, 1);
    EXPECT_EQ(sameSubnet(address, Ipv4{}, Ipv4::fromOctets(172, 16, 5, 9)), 1);
    EXPECT_EQ(sameSubnet(address, limitedBroadcast, address), 1);
    EXPECT_EQ(sameSubnet(address, limitedBroadcast, Ipv4::fromOctets(10, 77, 0, 2)), 0);
}

TEST(SameSubnet, NonContiguousMaskIsAppliedBitByBit) {
    const Ipv4 mask = Ipv4::fromOctets(255, 0, 255, 0);
    EXPECT_EQ(sameSubnet(Ipv4::fromOctets(10, 1, 2, 3), mask, Ipv4::fromOctets(10, 9, 2, 7)), 1);
    EXPECT_EQ(sameSubnet(Ipv4::fromOctets(10, 1, 2, 3), mask, Ipv4::fromOctets(10, 1, 3, 3)), 0);
}

}  // namespace
}  // namespace tamro
