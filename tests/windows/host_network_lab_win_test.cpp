// The IP Helper adapter list and ICMP echo inside the host network lab
// (tests/platform/host_network_lab.sh), under Wine.
#include <winsock2.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "hostnet/adapters.h"
#include "hostnet/echo_probe.h"
#include "platform/icmp_echo.h"

namespace tamro {
namespace {

// The lab has no default route; the machine's own namespace has one.
bool hasDefaultRoute() {
    ULONG size = 0;
    if (::GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return true;
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    if (::GetIpForwardTable(table, &size, FALSE) != NO_ERROR) return true;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (table->table[i].dwForwardDest == 0 && table->table[i].dwForwardMask == 0) return true;
    }
    return false;
}

class HostNetworkLabWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(hasDefaultRoute()) << "run through host_network_lab.sh and wine-run --lab";
    }
};

InterfaceRow rowNamed(const std::vector<InterfaceRow>& rows, const std::string& name) {
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const InterfaceRow& row) { return row.description == name; });
    return it != rows.end() ? *it : InterfaceRow{};
}

TEST_F(HostNetworkLabWindows, InterfaceRowsComeFromEachRowsOwnIndex) {
    const auto rows = readInterfaceRows();
    ASSERT_TRUE(rows.has_value());
    // Far above the number of interfaces: asked for by 1..N it would be missed.
    const InterfaceRow highIndex = rowNamed(*rows, "v0");
    EXPECT_EQ(highIndex.index, 50u);
    EXPECT_EQ(highIndex.operationalStatus, 5);
    EXPECT_EQ(highIndex.hardwareAddressLength, 6u);
    EXPECT_EQ(rowNamed(*rows, "lo").hardwareAddressLength, 0u);
}

// Wine lists one address per link (not v0's second one) and takes a link
// whose peer is down for operational; neither is ours to test here.
TEST_F(HostNetworkLabWindows, AdapterListHoldsTheRunningLinksInAddressTableOrder) {
    const auto addresses = readAddressRows();
    ASSERT_TRUE(addresses.has_value());
    std::vector<std::string> tableOrder;
    for (const auto& row : *addresses) tableOrder.push_back(toDottedText(row.address));

    const auto table = std::make_unique<AdapterTable>();
    enumerateAdapters(*table);
    std::vector<std::string> listed;
    std::vector<std::size_t> positions;
    for (std::int32_t i = 0; i < table->adapterCount; ++i) {
        const AdapterRecord& record = table->adapters[static_cast<std::size_t>(i)];
        const std::string address = toDottedText(record.address);
        listed.push_back(std::string(adapterName(record)) + " " + address);
        positions.push_back(static_cast<std::size_t>(
            std::find(tableOrder.begin(), tableOrder.end(), address) - tableOrder.begin()));
        EXPECT_NE(adapterName(record), "lo");
    }
    EXPECT_NE(std::find(listed.begin(), listed.end(), "v0 10.77.0.1"), listed.end());
    EXPECT_NE(std::find(listed.begin(), listed.end(), "w0 10.78.0.1"), listed.end());
    EXPECT_EQ(std::find(listed.begin(), listed.end(), "lo 127.0.0.2"), listed.end());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    const auto mask = std::find_if(table->adapters.begin(),
                                   table->adapters.begin() + table->adapterCount,
                                   [](const AdapterRecord& r) {
                                       return r.address == Ipv4::fromOctets(10, 77, 0, 1);
                                   });
    ASSERT_NE(mask, table->adapters.begin() + table->adapterCount);
    EXPECT_EQ(mask->mask, Ipv4::fromOctets(255, 255, 255, 0));
}

TEST_F(HostNetworkLabWindows, EchoIsAnsweredByThePeerAndNotByAFreeAddress) {
    EXPECT_EQ(sendEchoProbe(Ipv4::fromOctets(10, 77, 0, 2)), 1);
    EXPECT_EQ(sendIcmpEcho(Ipv4::fromOctets(10, 77, 0, 2), echoProbePayload, echoProbeTimeout,
                           Ipv4::fromOctets(10, 77, 0, 1)),
              1);
    EXPECT_EQ(sendEchoProbe(Ipv4::fromOctets(10, 77, 0, 99)), 0);
    // The responder's link stays silent: its own answering is off.
    EXPECT_EQ(sendEchoProbe(Ipv4::fromOctets(10, 78, 0, 3)), 0);
}

}  // namespace
}  // namespace tamro
