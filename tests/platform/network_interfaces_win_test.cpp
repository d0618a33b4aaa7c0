#include "platform/network_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "hostnet/adapters.h"

namespace tamro {
namespace {

// Reads the IP Helper tables of the machine Wine runs on; nothing is sent.
TEST(NetworkInterfacesWindows, EveryAddressJoinsAnInterfaceAndLoopbackHasNoHardwareAddress) {
    const auto interfaces = readInterfaceRows();
    const auto addresses = readAddressRows();
    ASSERT_TRUE(interfaces.has_value());
    ASSERT_TRUE(addresses.has_value());
    ASSERT_FALSE(interfaces->empty());

    std::set<std::uint32_t> indices;
    for (const auto& row : *interfaces) {
        EXPECT_TRUE(indices.insert(row.index).second) << "index " << row.index << " twice";
        EXPECT_GE(row.operationalStatus, 0);
        EXPECT_LE(row.operationalStatus, 6);
    }
    EXPECT_TRUE(std::is_sorted(interfaces->begin(), interfaces->end(),
                               [](const InterfaceRow& a, const InterfaceRow& b) {
                                   return a.index < b.index;
                               }));

    bool sawLoopback = false;
    for (const auto& address : *addresses) {
        const auto match = std::find_if(interfaces->begin(), interfaces->end(),
                                        [&](const InterfaceRow& row) {
                                            return row.index == address.interfaceIndex;
                                        });
        ASSERT_NE(match, interfaces->end()) << toDottedText(address.address);
        EXPECT_TRUE(address.interfaceName.empty());
        if (address.address == Ipv4::fromOctets(127, 0, 0, 1)) {
            sawLoopback = true;
            EXPECT_EQ(address.mask, Ipv4::fromOctets(255, 0, 0, 0));
            EXPECT_EQ(match->hardwareAddressLength, 0u);
            EXPECT_FALSE(match->description.empty());
        }
    }
    EXPECT_TRUE(sawLoopback);
}

TEST(NetworkInterfacesWindows, TheAdapterListTakesNoLoopbackAndNamesEveryRecord) {
    const auto table = std::make_unique<AdapterTable>();
    enumerateAdapters(*table);
    for (std::int32_t i = 0; i < table->adapterCount; ++i) {
        const AdapterRecord& record = table->adapters[static_cast<std::size_t>(i)];
        EXPECT_NE(record.address, Ipv4::fromOctets(127, 0, 0, 1));
        EXPECT_FALSE(adapterName(record).empty());
        EXPECT_TRUE(adapterInterfaceName(record).empty());
    }
}

}  // namespace
}  // namespace tamro
