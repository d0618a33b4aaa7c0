#include "protocol/device_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace tamro {
namespace {

// A record whose every field tells which device it came from.
DeviceRecord deviceNumbered(std::uint8_t n) {
    DeviceRecord r;
    r.peer = PeerAddress{2, 30718, Ipv4::fromOctets(10, 0, 0, n)};
    r.mac = {0x02, 0x00, 0x00, 0x00, 0x00, n};
    r.ipText = {'1', '0', '.', '0', '.', '0', '.', static_cast<char>('0' + n % 10)};
    r.typeCode = {'X', '1'};
    r.configured = 1;
    r.localPort = 1000 + n;
    r.keepAlive = n;
    return r;
}

std::unique_ptr<DeviceTable> tableWith(int count) {
    auto table = std::make_unique<DeviceTable>();
    for (int i = 0; i < maxDevices; ++i) table->devices[i] = deviceNumbered(static_cast<std::uint8_t>(i));
    table->deviceCount = count;
    return table;
}

TEST(DeviceTable, StartsEmptyAndZeroed) {
    const auto& table = processDeviceTable();
    EXPECT_EQ(table.deviceCount, 0);
    for (const auto& record : table.devices) EXPECT_EQ(record, DeviceRecord{});
}

TEST(DeviceTable, ResetClearsTheCountButNoRecord) {
    auto table = tableWith(5);
    resetDeviceTable(*table);
    EXPECT_EQ(table->deviceCount, 0);
    EXPECT_EQ(table->devices[3], deviceNumbered(3));
}

TEST(DeviceTable, RemoveMovesLaterRecordsDownAndKeepsTheCount) {
    auto table = tableWith(5);
    ASSERT_TRUE(removeDevice(*table, 1));
    EXPECT_EQ(table->deviceCount, 5);
    EXPECT_EQ(table->devices[0], deviceNumbered(0));
    EXPECT_EQ(table->devices[1], deviceNumbered(2));
    EXPECT_EQ(table->devices[2], deviceNumbered(3));
    EXPECT_EQ(table->devices[3], deviceNumbered(4));
    EXPECT_EQ(table->devices[254], deviceNumbered(255));
    EXPECT_EQ(table->devices[255], deviceNumbered(255));
}

TEST(DeviceTable, RemoveOutsideTheCountChangesNothing) {
    auto table = tableWith(5);
    const auto before = std::make_unique<DeviceTable>(*table);
    EXPECT_FALSE(removeDevice(*table, 5));
    EXPECT_FALSE(removeDevice(*table, 300));
    EXPECT_FALSE(removeDevice(*table, -1));
    EXPECT_EQ(table->deviceCount, before->deviceCount);
    EXPECT_EQ(table->devices, before->devices);
}

TEST(DeviceTable, RemovingTheLastPositionMovesNothing) {
    auto table = tableWith(maxDevices);
    ASSERT_TRUE(removeDevice(*table, 255));
    EXPECT_EQ(table->devices[255], deviceNumbered(255));
    EXPECT_EQ(table->devices[254], deviceNumbered(254));
}

TEST(DeviceTable, DropInPlaceIgnoresTheCount) {
    // The search drops failed reads while deviceCount still counts them.
    auto table = tableWith(4);
    dropDeviceInPlace(*table, 1);
    EXPECT_EQ(table->deviceCount, 4);
    EXPECT_EQ(table->devices[0], deviceNumbered(0));
    EXPECT_EQ(table->devices[1], deviceNumbered(2));
    EXPECT_EQ(table->devices[2], deviceNumbered(3));
    dropDeviceInPlace(*table, maxDevices);  // outside the table: nothing moves
    EXPECT_EQ(table->devices[1], deviceNumbered(2));
}

}  // namespace
}  // namespace tamro
