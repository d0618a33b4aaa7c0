#include "address_refusal.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        const std::string text = toDottedText(address);
        std::copy(text.begin(), text.end(), record.ipText.begin());
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
    const auto problems = [&](const Ipv4& address, const Mac& mac, bool force) {
        return addressClashProblems(*table, table->deviceCount, address, mac, false, force);
    };
    EXPECT_EQ(problems(taken, device, false),
              std::vector<std::string>{
                  "10.77.0.30 is where 02-00-00-00-03-30 answers (--force gives it anyway)"});
    EXPECT_TRUE(problems(taken, device, true).empty());
    // Its own address, and a free one, are nobody else's.
    EXPECT_TRUE(problems(taken, neighbour, false).empty());
    EXPECT_TRUE(problems(Ipv4::fromOctets(10, 77, 0, 31), device, false).empty());
}

TEST_F(AddressRefusal, AnAssignmentRestartsEveryDeviceEndingInTheSameTwoBytes) {
    list(device, Ipv4::fromOctets(172, 16, 5, 60));
    list(neighbour, taken);
    list(sameEnd, Ipv4::fromOctets(172, 16, 5, 61));
    const Ipv4 free = Ipv4::fromOctets(10, 77, 0, 31);
    const std::vector<std::string> clash{
        "02-00-00-01-05-60 / 172.16.5.61 ends in the same two MAC bytes: the assignment would "
        "give it the address too"};
    EXPECT_EQ(addressClashProblems(*table, 3, free, device, true, false), clash);
    // --force lets a taken address through, never the two bytes.
    EXPECT_EQ(addressClashProblems(*table, 3, free, device, true, true), clash);
    // A write on the subnet carries the whole MAC.
    EXPECT_TRUE(addressClashProblems(*table, 3, free, device, false, false).empty());
    EXPECT_TRUE(addressClashProblems(*table, 3, free, neighbour, true, false).empty());
    // A record past the list (a search that dropped a device keeps the reply
    // count in deviceCount) is no device.
    EXPECT_TRUE(addressClashProblems(*table, 2, free, device, true, false).empty());
    EXPECT_TRUE(addressClashProblems(*table, 1, taken, device, false, false).empty());
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
