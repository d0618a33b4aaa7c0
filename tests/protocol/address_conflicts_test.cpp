#include "protocol/address_conflicts.h"

#include <gtest/gtest.h>

#include <memory>

namespace tamro {
namespace {

MacAddress macEnding(std::uint8_t n) { return {0x02, 0x00, 0x00, 0x00, 0x00, n}; }

void place(DeviceTable& table, std::int32_t index, std::uint8_t macEnd, const Ipv4& address) {
    DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    record.peer = PeerAddress{2, 30718, address};
    record.mac = macEnding(macEnd);
}

const Ipv4 shared = Ipv4::fromOctets(10, 77, 0, 11);
const Ipv4 alone = Ipv4::fromOctets(10, 77, 0, 12);

TEST(AddressConflicts, NamesEveryOtherMacAtTheAddressInListOrder) {
    auto table = std::make_unique<DeviceTable>();
    place(*table, 0, 0x11, shared);
    place(*table, 1, 0x12, alone);
    place(*table, 2, 0x78, shared);
    place(*table, 3, 0x79, shared);
    table->deviceCount = 4;

    EXPECT_EQ(otherDevicesAt(*table, shared, macEnding(0x11)),
              (std::vector<MacAddress>{macEnding(0x78), macEnding(0x79)}));
    EXPECT_EQ(otherDevicesAt(*table, shared, macEnding(0x78)),
              (std::vector<MacAddress>{macEnding(0x11), macEnding(0x79)}));
    EXPECT_TRUE(otherDevicesAt(*table, alone, macEnding(0x12)).empty());
    // A device not listed yet (the one an assignment is about to move) sees all of them.
    EXPECT_EQ(otherDevicesAt(*table, shared, macEnding(0x99)).size(), 3U);
    EXPECT_EQ(devicesSharingAddress(*table, 4, 2), (std::vector<MacAddress>{macEnding(0x11), macEnding(0x79)}));
    EXPECT_TRUE(devicesSharingAddress(*table, 4, 1).empty());
}

TEST(AddressConflicts, OnlyListedRecordsAndOtherMacsCount) {
    auto table = std::make_unique<DeviceTable>();
    place(*table, 0, 0x11, shared);
    place(*table, 1, 0x11, shared);  // the same device answering twice
    place(*table, 2, 0x78, shared);  // past the count: left over from an earlier search
    table->deviceCount = 2;

    EXPECT_TRUE(otherDevicesAt(*table, shared, macEnding(0x11)).empty());
    EXPECT_EQ(otherDevicesAt(*table, shared, macEnding(0x78)), (std::vector<MacAddress>{macEnding(0x11)}));
    EXPECT_TRUE(devicesSharingAddress(*table, 2, 0).empty());
    EXPECT_TRUE(devicesSharingAddress(*table, 2, 2).empty());
    EXPECT_TRUE(devicesSharingAddress(*table, 2, -1).empty());

    // After a search that dropped a device the list is shorter than the replies.
    table->deviceCount = 3;
    EXPECT_TRUE(otherDevicesAt(*table, 2, shared, macEnding(0x11)).empty());
    EXPECT_TRUE(devicesSharingAddress(*table, 2, 0).empty());
    EXPECT_EQ(devicesSharingAddress(*table, 3, 0), (std::vector<MacAddress>{macEnding(0x78)}));

    table->deviceCount = maxDevices + 5;  // a count out of range reads no further than the table
    EXPECT_EQ(otherDevicesAt(*table, shared, macEnding(0x11)), (std::vector<MacAddress>{macEnding(0x78)}));
}

}  // namespace
}  // namespace tamro
