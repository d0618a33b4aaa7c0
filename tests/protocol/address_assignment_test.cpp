#include "protocol/address_assignment.h"

#include <gtest/gtest.h>

namespace tamro {
namespace {

TEST(AddressAssignment, PacketCarriesTheLastTwoMacBytesAndTheAddress) {
    const auto packet = buildAssignmentPacket({0x02, 0x00, 0x00, 0x00, 0x12, 0x34},
                                              Ipv4::fromOctets(192, 168, 1, 10));
    const std::array<std::uint8_t, 20> expected = {0x00, 0x00, 0x00, 0xFC, 0x49, 0x50, 0x2D,
                                                   0x53, 0x45, 0x54, 0x55, 0x50, 0x00, 0x00,
                                                   0x12, 0x34, 0xC0, 0xA8, 0x01, 0x0A};
    EXPECT_EQ(packet, expected);
}

TEST(AddressAssignment, OnlyTheLastTwoMacBytesTellDevicesApart) {
    const Ipv4 address = Ipv4::fromOctets(10, 1, 2, 3);
    EXPECT_EQ(buildAssignmentPacket({0x02, 0x11, 0x22, 0x33, 0xAB, 0xCD}, address),
              buildAssignmentPacket({0x0E, 0x99, 0x88, 0x77, 0xAB, 0xCD}, address));
    EXPECT_NE(buildAssignmentPacket({0x02, 0x11, 0x22, 0x33, 0xAB, 0xCD}, address),
              buildAssignmentPacket({0x02, 0x11, 0x22, 0x33, 0xAB, 0xCE}, address));
}

TEST(AddressAssignment, AnyAddressIsSentUnchanged) {
    const auto zeros = buildAssignmentPacket({}, Ipv4{});
    for (std::size_t i = 16; i < 20; ++i) EXPECT_EQ(zeros[i], 0);
    const auto broadcast = buildAssignmentPacket({}, limitedBroadcast);
    for (std::size_t i = 16; i < 20; ++i) EXPECT_EQ(broadcast[i], 0xFF);
}

}  // namespace
}  // namespace tamro
