#include "protocol/address_rules.h"

#include <gtest/gtest.h>

#include "protocol/address_conflicts.h"

namespace tamro {
namespace {

constexpr Ipv4 mask24 = Ipv4::fromOctets(255, 255, 255, 0);
constexpr Ipv4 adapter = Ipv4::fromOctets(10, 77, 0, 1);

AddressFault faultOf(Ipv4 address, Ipv4 mask = mask24) {
    return addressFault(address, mask, adapter);
}

TEST(AddressFault, RefusesTheBlocksNoHostMayHave) {
    EXPECT_EQ(faultOf(Ipv4{}), AddressFault::thisNetwork);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(0, 77, 0, 50)), AddressFault::thisNetwork);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(127, 0, 0, 1)), AddressFault::loopback);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(127, 77, 0, 50)), AddressFault::loopback);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(224, 0, 0, 1)), AddressFault::multicast);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(239, 255, 255, 250)), AddressFault::multicast);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(240, 0, 0, 1)), AddressFault::reserved);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(255, 255, 255, 254)), AddressFault::reserved);
    EXPECT_EQ(faultOf(limitedBroadcast), AddressFault::limitedBroadcast);
}

TEST(AddressFault, RefusesTheSubnetsOwnAddressesAndTheAdapters) {
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 0)), AddressFault::networkAddress);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 255)), AddressFault::subnetBroadcast);
    EXPECT_EQ(faultOf(adapter), AddressFault::adapterAddress);
    // The subnet is the one the device will have, not the adapter's.
    const Ipv4 mask16 = Ipv4::fromOctets(255, 255, 0, 0);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 255), mask16), AddressFault::none);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 255, 255), mask16), AddressFault::subnetBroadcast);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 0), mask16), AddressFault::networkAddress);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 1, 0), mask16), AddressFault::none);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 128), Ipv4::fromOctets(255, 255, 255, 128)),
              AddressFault::networkAddress);
}

TEST(AddressFault, LeavesOrdinaryAddressesAlone) {
    for (const Ipv4 address : {Ipv4::fromOctets(10, 77, 0, 2), Ipv4::fromOctets(10, 77, 0, 254),
                               Ipv4::fromOctets(172, 16, 5, 9), Ipv4::fromOctets(1, 0, 0, 1),
                               Ipv4::fromOctets(223, 255, 255, 254)}) {
        EXPECT_EQ(faultOf(address), AddressFault::none) << toDottedText(address);
    }
}

TEST(AddressFault, PointToPointAndHostMasksHaveNoNetworkOrBroadcast) {
    const Ipv4 mask31 = Ipv4::fromOctets(255, 255, 255, 254);
    const Ipv4 mask32 = limitedBroadcast;
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 4), mask31), AddressFault::none);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 5), mask31), AddressFault::none);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 0), mask32), AddressFault::none);
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 255), mask32), AddressFault::none);
    // The fixed blocks and the adapter stay refused whatever the mask.
    EXPECT_EQ(faultOf(limitedBroadcast, mask32), AddressFault::limitedBroadcast);
    EXPECT_EQ(faultOf(adapter, mask32), AddressFault::adapterAddress);
    // A blank mask puts the whole space on one subnet: only the ends go.
    EXPECT_EQ(faultOf(Ipv4::fromOctets(10, 77, 0, 0), Ipv4{}), AddressFault::none);
}

TEST(AddressFault, EveryFaultIsNamed) {
    for (const AddressFault fault :
         {AddressFault::thisNetwork, AddressFault::loopback, AddressFault::multicast,
          AddressFault::reserved, AddressFault::limitedBroadcast, AddressFault::networkAddress,
          AddressFault::subnetBroadcast, AddressFault::adapterAddress}) {
        EXPECT_FALSE(addressFaultText(fault).empty());
    }
    EXPECT_TRUE(addressFaultText(AddressFault::none).empty());
}

DeviceRecord listedAt(std::uint8_t last, Ipv4 address) {
    DeviceRecord record;
    record.mac = {0x02, 0x00, 0x00, 0x00, 0x00, last};
    record.peer.address = address;
    return record;
}

TEST(OtherDevicesAt, NamesEachOtherListedMacOnceInListOrder) {
    DeviceTable table;
    const Ipv4 shared = Ipv4::fromOctets(10, 77, 0, 50);
    table.devices[0] = listedAt(1, shared);
    table.devices[1] = listedAt(2, Ipv4::fromOctets(10, 77, 0, 51));
    table.devices[2] = listedAt(3, shared);
    table.devices[3] = listedAt(3, shared);
    table.devices[4] = listedAt(4, shared);  // past the count: not listed
    table.deviceCount = 4;
    using Mac = std::array<std::uint8_t, 6>;
    EXPECT_EQ(otherDevicesAt(table, shared, table.devices[0].mac),
              (std::vector<Mac>{table.devices[2].mac}));
    EXPECT_EQ(otherDevicesAt(table, shared, table.devices[1].mac),
              (std::vector<Mac>{table.devices[0].mac, table.devices[2].mac}));
    EXPECT_TRUE(otherDevicesAt(table, Ipv4::fromOctets(10, 77, 0, 52), Mac{}).empty());
    table.deviceCount = -1;
    EXPECT_TRUE(otherDevicesAt(table, shared, Mac{}).empty());
}

}  // namespace
}  // namespace tamro
