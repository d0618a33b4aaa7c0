#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "doctor_command.h"
#include "doctor_test_support.h"
#include "platform/ipv4.h"

namespace tamro::cli {
namespace {

AdapterRecord adapter(const char* address, const char* mask, const char* name) {
    AdapterRecord record;
    record.address = *parseDottedText(address);
    record.mask = *parseDottedText(mask);
    std::strncpy(record.interfaceName.data(), name, record.interfaceName.size() - 1);
    std::strncpy(record.name.data(), name, record.name.size() - 1);
    return record;
}

TEST(DoctorAdapters, OverlappingSubnetsOfDifferentWidthsAreFound) {
    AdapterTable table;
    table.adapters[0] = adapter("10.77.0.1", "255.255.255.0", "eth0");
    table.adapters[1] = adapter("10.77.5.1", "255.255.0.0", "eth1");   // holds eth0's subnet
    table.adapters[2] = adapter("10.78.0.1", "255.255.255.0", "eth2");
    table.adapters[3] = adapter("10.77.0.9", "255.255.255.0", "eth0");  // a second address
    table.adapterCount = 4;
    const auto found = sharedSubnetFindings(table);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(found[0].what.find("10.77.0.1 (eth0) and 10.77.5.1 (eth1)"), std::string::npos);
    EXPECT_EQ(found[0].fix, "ip address del 10.77.5.1/16 dev eth1 (or unplug one)");
    EXPECT_NE(found[1].what.find("10.77.5.1 (eth1) and 10.77.0.9 (eth0)"), std::string::npos);
}

TEST(DoctorAdapters, EachInterfaceSaysWhyItIsOrIsNotAnAdapter) {
    const std::vector<InterfaceRow> interfaces{
        {1, 5, 6, 1'000'000'000, "eth0"},   // usable, two addresses
        {2, 2, 6, 0, "eth1"},               // down, no address
        {3, 5, 0, 0x40000000, "odd"},       // up, but neither hardware address nor speed
        {4, 5, 0, 0, "lo"},                 // loopback: not mentioned
        {5, 5, 6, 0, "eth2"},               // up, no address
    };
    const std::vector<AddressRow> addresses{
        {*parseDottedText("10.77.0.1"), *parseDottedText("255.255.255.0"), 1, "eth0"},
        {*parseDottedText("10.78.0.1"), *parseDottedText("255.255.0.0"), 1, "eth0"},
        {*parseDottedText("192.168.9.1"), *parseDottedText("255.255.255.0"), 3, "odd0"},
        {*parseDottedText("127.0.0.1"), *parseDottedText("255.0.0.0"), 4, "lo"},
    };
    const auto found = interfaceFindings(interfaces, addresses);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_FALSE(found[0].problem);
    EXPECT_EQ(findingTag(found[0]), "[ok] ");
    EXPECT_EQ(found[0].what, "interface eth0 is a usable adapter: 10.77.0.1/24, 10.78.0.1/16");
    EXPECT_TRUE(found[1].problem);
    EXPECT_EQ(found[1].what, "interface eth1 is not a usable adapter: down, no IPv4 address");
    EXPECT_EQ(found[1].fix, "ip link set eth1 up (and check its cable)");
    // No hardware address: a tunnel by nature, nothing to fix.
    EXPECT_EQ(findingTag(found[2]), "[info] ");
    EXPECT_EQ(found[2].what, "interface odd0 is not a usable adapter: no hardware address, "
                             "reports a link speed of 0x40000000");
    EXPECT_EQ(found[2].fix, "");
    EXPECT_TRUE(found[3].problem);
    EXPECT_EQ(found[3].what, "interface eth2 is not a usable adapter: no IPv4 address");
    EXPECT_EQ(found[3].fix.rfind("ip address add ADDRESS/PREFIX dev eth2", 0), 0u);
}

TEST(DoctorAdapters, BesideTheAdapterNamedOtherInterfacesAreOnlyInformation) {
    const std::vector<InterfaceRow> interfaces{
        {1, 5, 6, 0, "eth0"},
        {2, 2, 6, 0, "eth1"},  // down
        {3, 5, 0, 0, "tun0"},  // a VPN tunnel: up, no hardware address
        {4, 2, 0, 0, "lo"},    // loopback, down and without its address
    };
    const std::vector<AddressRow> addresses{
        {*parseDottedText("10.77.0.1"), *parseDottedText("255.255.255.0"), 1, "eth0"},
        {*parseDottedText("10.8.0.2"), *parseDottedText("255.255.255.0"), 3, "tun0"},
    };
    const auto found = interfaceFindings(interfaces, addresses, 1u);
    ASSERT_EQ(found.size(), 3u);
    for (const Finding& finding : found) {
        EXPECT_FALSE(finding.problem) << finding.what;
        EXPECT_EQ(finding.fix, "") << finding.what;
        EXPECT_EQ(finding.what.find("interface lo"), std::string::npos);
    }
    EXPECT_EQ(findingTag(found[1]), "[info] ");
    EXPECT_EQ(found[1].what, "interface eth1 is not a usable adapter: down, no IPv4 address");
    EXPECT_EQ(findingTag(found[2]), "[info] ");
    // An address listed without its interface's name is named by the interface.
    const auto unnamed = interfaceFindings(
        {{7, 5, 6, 0, "Ethernet 2"}},
        {{*parseDottedText("10.77.0.1"), *parseDottedText("255.255.255.0"), 7, ""}});
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed[0].what, "interface Ethernet 2 is a usable adapter: 10.77.0.1/24");
    // Without a description the adapter list leaves it out; the doctor must not call it usable.
    const auto nameless = interfaceFindings(
        {{9, 5, 6, 0, ""}},
        {{*parseDottedText("10.77.0.1"), *parseDottedText("255.255.255.0"), 9, ""}});
    ASSERT_EQ(nameless.size(), 1u);
    EXPECT_TRUE(nameless[0].problem);
    EXPECT_EQ(nameless[0].what, "interface with index 9 is not a usable adapter: no description");
}

TEST(DoctorFindings, ACheckNotMadeIsSkippedNeverOk) {
    Finding skipped{false, "the firewall's rules are not read", "", ""};
    skipped.standing = Standing::skipped;
    EXPECT_EQ(findingTag(skipped), "[skipped] ");
    Finding problem{true, "x", "", ""};
    problem.standing = Standing::skipped;  // a problem is a problem
    EXPECT_EQ(findingTag(problem), "[problem] ");
}

TEST(DoctorAdapters, ReversePathLevels) {
    const Ipv4 own = *parseDottedText("10.77.0.1");
    const Ipv4 mask = *parseDottedText("255.255.255.0");
    const std::vector<RouteEntry> none;
    EXPECT_TRUE(reversePathFindings("eth0", {}, none, own, mask).empty());
    EXPECT_FALSE(reversePathFindings("eth0", {0, 0}, none, own, mask).front().problem);
    const auto strict = reversePathFindings("eth0", {0, 1}, none, own, mask);
    ASSERT_EQ(strict.size(), 1u);
    EXPECT_TRUE(strict[0].problem);
    EXPECT_EQ(strict[0].fix,
              "ip route add DEVICE_RANGE/PREFIX dev eth0, or sysctl -w net.ipv4.conf.eth0.rp_filter=0");
}

TEST(DoctorAdapters, OnlyAHolderOnTheAdaptersAddressOrOnAllBlocksThePort) {
    const Ipv4 own = *parseDottedText("10.77.0.1");
    const std::vector<PortHolder> elsewhere = {{*parseDottedText("192.168.1.2"), 7, "x"}};
    EXPECT_TRUE(problemsIn(portFindings(elsewhere, own)).empty());
    const std::vector<PortHolder> everywhere = {{Ipv4{}, -1, ""}};
    const auto found = problemsIn(portFindings(everywhere, own));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NE(found[0].what.find("a process the system does not name"), std::string::npos);
}

}  // namespace
}  // namespace tamro::cli
