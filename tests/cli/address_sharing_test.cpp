#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "address_sharing_text.h"
#include "device_json.h"
#include "device_table_text.h"
#include "doctor_command.h"
#include "platform/ipv4.h"

namespace tamro::cli {
namespace {

const Ipv4 shared = Ipv4::fromOctets(10, 77, 0, 11);
const MacAddress firstMac = {2, 0, 0, 0, 0, 0x11};
const MacAddress secondMac = {2, 0, 0, 0, 0x56, 0x78};

// A device the search listed unread because another answered from its address.
DeviceRecord unreadAt(const MacAddress& mac, const Ipv4& address) {
    DeviceRecord record;
    record.peer = PeerAddress{2, 30718, address};
    record.mac = mac;
    const std::string ip = toDottedText(address);
    std::copy(ip.begin(), ip.end(), record.ipText.begin());
    record.typeCode = {'X', '1'};
    record.localPort = 4011;  // left over: never shown
    return record;
}

TEST(AddressSharing, SearchOutputsNameTheOtherDevices) {
    const DeviceRecord second = unreadAt(secondMac, shared);
    const auto row = deviceTableRow(second, {firstMac});
    ASSERT_EQ(row.size(), deviceTableHeader().size());
    EXPECT_EQ(deviceTableHeader().back(), "CONFLICT");
    EXPECT_EQ(row[3], "no: shared address");
    EXPECT_EQ(row[9], "-");  // PORT: nothing was read
    EXPECT_EQ(row.back(), "02-00-00-00-00-11");
    EXPECT_EQ(deviceTableRow(second, {firstMac, {2, 0, 0, 0, 0, 0x12}}).back(),
              "02-00-00-00-00-11 02-00-00-00-00-12");
    EXPECT_EQ(deviceTableRow(second).back(), "-");
    EXPECT_EQ(deviceTableRow(second)[3], "no: off the subnet");

    const auto json = deviceJson(second, {firstMac});
    EXPECT_EQ(json["conflict"], nlohmann::ordered_json::array({"02-00-00-00-00-11"}));
    EXPECT_FALSE(json["configured"]);
    EXPECT_FALSE(json.contains("settings"));
    EXPECT_EQ(deviceJson(second)["conflict"], nlohmann::ordered_json::array());
}

TEST(AddressSharing, TheAdviceIsTheAssignmentByMac) {
    const std::string text = sharedAddressText(unreadAt(secondMac, shared), {firstMac});
    EXPECT_NE(text.find("10.77.0.11 is also the address of 02-00-00-00-00-11"), std::string::npos)
        << text;
    EXPECT_NE(text.find("tamroctl assign 02-00-00-00-56-78 FREE_ADDRESS"), std::string::npos) << text;
    EXPECT_EQ(text.find("tamroctl write"), std::string::npos) << text;
    EXPECT_TRUE(sharedAddressText(unreadAt(secondMac, shared), {}).empty());
}

TEST(AddressSharing, DoctorGivesTheAssignmentNotTheOffSubnetWrite) {
    auto table = std::make_unique<DeviceTable>();
    table->devices[0] = unreadAt(firstMac, shared);
    table->devices[1] = unreadAt(secondMac, shared);
    table->devices[2] = unreadAt({2, 0, 0, 0, 0x99, 0x01}, Ipv4::fromOctets(172, 16, 5, 9));
    table->deviceCount = 3;
    AdapterRecord adapter;
    adapter.address = Ipv4::fromOctets(10, 77, 0, 1);
    adapter.mask = Ipv4::fromOctets(255, 255, 255, 0);

    const auto findings = searchFindings(*table, 3, adapter);
    std::vector<std::string> fixes;
    std::int32_t offSubnet = 0;
    for (const Finding& finding : findings) {
        if (finding.what.find("answer from the same address") != std::string::npos) {
            fixes.push_back(finding.fix);
        }
        if (finding.what.find("outside the adapter's subnet") != std::string::npos) {
            ++offSubnet;
            EXPECT_NE(finding.what.find("172.16.5.9"), std::string::npos) << finding.what;
        }
    }
    ASSERT_EQ(fixes.size(), 1U);
    EXPECT_NE(fixes[0].find("tamroctl assign 02-00-00-00-56-78 FREE_ADDRESS"), std::string::npos);
    EXPECT_EQ(fixes[0].find("tamroctl write"), std::string::npos);
    EXPECT_EQ(offSubnet, 1);
}

}  // namespace
}  // namespace tamro::cli
