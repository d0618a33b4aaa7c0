#include "platform/network_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tamro {
namespace {

// Reads the machine's own interfaces; nothing is sent.
TEST(NetworkInterfaces, LoopbackHasNoHardwareAddressAndEveryAddressJoinsAnInterface) {
    const auto interfaces = readInterfaceRows();
    const auto addresses = readAddressRows();
    ASSERT_TRUE(interfaces.has_value());
    ASSERT_TRUE(addresses.has_value());

    const auto loopback = std::find_if(interfaces->begin(), interfaces->end(),
                                       [](const InterfaceRow& row) { return row.description == "lo"; });
    ASSERT_NE(loopback, interfaces->end());
    EXPECT_EQ(loopback->index, 1u);
    EXPECT_EQ(loopback->hardwareAddressLength, 0u);

    for (const auto& address : *addresses) {
        const auto match = std::find_if(interfaces->begin(), interfaces->end(), [&](const InterfaceRow& row) {
            return row.index == address.interfaceIndex;
        });
        ASSERT_NE(match, interfaces->end()) << toDottedText(address.address);
        EXPECT_EQ(match->description, address.interfaceName);
    }
    EXPECT_TRUE(std::any_of(addresses->begin(), addresses->end(), [](const AddressRow& row) {
        return row.address == Ipv4::fromOctets(127, 0, 0, 1) &&
               row.mask == Ipv4::fromOctets(255, 0, 0, 0) && row.interfaceName == "lo";
    }));
}

}  // namespace
}  // namespace tamro
