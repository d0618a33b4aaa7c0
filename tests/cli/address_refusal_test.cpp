#include "address_refusal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tamro::cli {
namespace {

using Mac = std::array<std::uint8_t, 6>;

class AddressRefusal : public ::testing::Test {
protected:
    void list(const Mac& mac, Ipv4 address) {
        DeviceRecord& record = table->devices[static_cast<std::size_t>(table->deviceCount++)];
        record.mac = mac;
        record.peer.address = address;
    }
    std::unique_ptr<DeviceTable> table = std::make_unique<DeviceTable>();
};

constexpr Mac device = {2, 0, 0, 0, 0x05, 0x60};
constexpr Mac neighbour = {2, 0, 0, 0, 0x03, 0x30};
constexpr Mac sameEnd = {2, 0, 0, 1, 0x05, 0x60};
constexpr Ipv4 taken = Ipv4::fromOctets(10, 77, 0, 30);

TEST_F(AddressRefusal, AnAddressAnotherListedDeviceAnswersFromIsNamedWithThatDevice) {
    list(device, Ipv4::fromOctets(172, 16, 5, 60));
    list(neighbour, taken);
    EXPECT_EQ(takenAddressProblems(*table, taken, device),
              std::vector<std::string>{
                  "10.77.0.30 is where 02-00-00-00-03-30 answers (--force gives it anyway)"});
    // Its own address, and a free one, are nobody else's.
    EXPECT_TRUE(takenAddressProblems(*table, taken, neighbour).empty());
    EXPECT_TRUE(takenAddressProblems(*table, Ipv4::fromOctets(10, 77, 0, 31), device).empty());
}

TEST_F(AddressRefusal, AnAssignmentRestartsEveryDeviceEndingInTheSameTwoBytes) {
    list(device, Ipv4::fromOctets(172, 16, 5, 60));
    list(neighbour, taken);
    list(sameEnd, Ipv4::fromOctets(172, 16, 5, 61));
    const std::vector<const DeviceRecord*> others = sameLastTwoBytes(*table, device);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0]->mac, sameEnd);
    EXPECT_TRUE(sameLastTwoBytes(*table, neighbour).empty());
    // A device past the list's count is not listed.
    table->deviceCount = 2;
    EXPECT_TRUE(sameLastTwoBytes(*table, device).empty());
}

TEST(AddressRefusalText, TheAddressRuleIsNamedInWordsOtherChecksByTheirMessage) {
    WriteAttempt attempt;
    attempt.failedCheck = WriteCheck::address;
    attempt.addressFault = AddressFault::subnetBroadcast;
    attempt.refusedAddress = Ipv4::fromOctets(10, 77, 0, 255);
    attempt.message = "IPアドレス設定エラー";
    EXPECT_EQ(writeRefusalText(attempt),
              "10.77.0.255 is the broadcast address of its subnet: no device should have it");
    attempt.failedCheck = WriteCheck::port;
    attempt.message = "ポート番号設定エラー";
    EXPECT_EQ(writeRefusalText(attempt), "ポート番号設定エラー");
}

}  // namespace
}  // namespace tamro::cli
