#include "hostnet/adapters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "lab_guard.h"

namespace tamro {
namespace {

// The lab host side: lo (127.0.0.1, 127.0.0.2), v0 at index 50 with
// 10.77.0.1 and the labelled 10.77.0.11, w0 with 10.78.0.1, and d0 with
// 10.79.0.1 whose peer is down.
class HostNetworkLab : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lab::insideLab()) << "run through host_network_lab.sh"; }
};

TEST_F(HostNetworkLab, InterfaceFactsComeFromTheLinks) {
    const auto rows = readInterfaceRows();
    ASSERT_TRUE(rows.has_value());
    const auto find = [&](const std::string& name) {
        const auto it = std::find_if(rows->begin(), rows->end(),
                                     [&](const InterfaceRow& row) { return row.description == name; });
        return it != rows->end() ? *it : InterfaceRow{};
    };
    const InterfaceRow loopback = find("lo");
    EXPECT_EQ(loopback.operationalStatus, 4);  // running, carrier unknown
    EXPECT_EQ(loopback.hardwareAddressLength, 0u);
    const InterfaceRow highIndex = find("v0");
    EXPECT_EQ(highIndex.index, 50u);
    EXPECT_EQ(highIndex.operationalStatus, 5);
    EXPECT_EQ(highIndex.hardwareAddressLength, 6u);
    EXPECT_EQ(highIndex.linkSpeed, 10'000'000'000u);  // a veth says 10000 Mb/s
    EXPECT_EQ(find("d0").operationalStatus, 2);
}

TEST_F(HostNetworkLab, AdapterListHoldsTheRunningPhysicalLinksInAddressOrder) {
    const auto addresses = readAddressRows();
    ASSERT_TRUE(addresses.has_value());
    std::vector<std::string> expected;
    for (const auto& row : *addresses) {
        if (row.interfaceName == "v0" || row.interfaceName == "w0") {
            expected.push_back(row.interfaceName + " " + toDottedText(row.address) + " on " +
                               row.interfaceName);
        }
    }
    ASSERT_EQ(expected.size(), 3u) << "the labelled address counts as v0's";

    const auto table = std::make_unique<AdapterTable>();
    enumerateAdapters(*table);
    std::vector<std::string> listed;
    for (std::int32_t i = 0; i < table->adapterCount; ++i) {
        const AdapterRecord& record = table->adapters[static_cast<std::size_t>(i)];
        EXPECT_EQ(record.mask, Ipv4::fromOctets(255, 255, 255, 0));
        listed.push_back(std::string(adapterName(record)) + " " + toDottedText(record.address) +
                         " on " + std::string(adapterInterfaceName(record)));
    }
    EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace tamro
