#include "hostnet/adapters.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tamro {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

constexpr Ipv4 mask8 = Ipv4::fromOctets(255, 0, 0, 0);

InterfaceRow usable(std::uint32_t index, std::string description) {
    return InterfaceRow{index, 5, 6, 1'000'000'000, std::move(description)};
}

// 10.0.0.<index>/8 on interface `index`.
AddressRow addressOn(std::uint32_t index, Ipv4 address = {}) {
    if (address == Ipv4{}) address = Ipv4::fromHostOrder(0x0A000000u + index);
    return AddressRow{address, mask8, index, "if" + std::to_string(index)};
}

class AdapterTableTest : public ::testing::Test {
protected:
    // One line per record: "name address/mask".
    Lines build(const std::optional<std::vector<InterfaceRow>>& interfaces,
                const std::optional<std::vector<AddressRow>>& addresses) {
        buildAdapterTable(interfaces, addresses, *table);
        Lines lines;
        for (std::int32_t i = 0; i < table->adapterCount; ++i) {
            const AdapterRecord& record = table->adapters[static_cast<std::size_t>(i)];
            lines.push_back(std::string(adapterName(record)) + " " + toDottedText(record.address) +
                            "/" + toDottedText(record.mask));
        }
        return lines;
    }

    std::unique_ptr<AdapterTable> table = std::make_unique<AdapterTable>();
};

TEST_F(AdapterTableTest, ListsEveryAddressInAddressTableOrder) {
    const std::vector<AddressRow> addresses{
        addressOn(3, Ipv4::fromOctets(10, 0, 0, 1)),
        AddressRow{Ipv4::fromOctets(192, 168, 1, 5), Ipv4::fromOctets(255, 255, 255, 0), 2, "eth0"},
        AddressRow{Ipv4::fromOctets(192, 168, 7, 6), Ipv4::fromOctets(255, 255, 255, 128), 2, "eth0"},
        addressOn(3, Ipv4::fromOctets(10, 0, 0, 2)),
    };
    EXPECT_EQ(build(std::vector{usable(2, "eth0"), usable(3, "eth1")}, addresses),
              (Lines{"eth1 10.0.0.1/255.0.0.0", "eth0 192.168.1.5/255.255.255.0",
                     "eth0 192.168.7.6/255.255.255.128", "eth1 10.0.0.2/255.0.0.0"}));
}

TEST_F(AdapterTableTest, InterfaceMustBeUpWithHardwareAddressAndPlausibleSpeed) {
    struct Case {
        const char* name;
        std::int32_t status;
        std::uint32_t hardwareLength;
        std::uint64_t speed;
        bool listed;
    };
    const std::vector<Case> cases{
        {"status0", 0, 6, 100, false},          {"status1", 1, 6, 100, false},
        {"status2", 2, 6, 100, false},          {"status3", 3, 6, 100, false},
        {"status4", 4, 6, 100, true},           {"status5", 5, 6, 100, true},
        {"status6", 6, 6, 100, false},          {"status7", 7, 6, 100, false},
        {"noHardware", 5, 0, 100, false},       {"oneByte", 5, 1, 100, true},
        {"odd", 5, 6, 0x40000000, false},       {"below", 5, 6, 0x3FFFFFFF, true},
        {"above", 5, 6, 0x40000001, true},      {"zero", 5, 6, 0, true},
        {"wide", 5, 6, 0x140000000, true},
    };
    std::vector<InterfaceRow> interfaces;
    std::vector<AddressRow> addresses;
    Lines expected;
    for (std::uint32_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        interfaces.push_back(InterfaceRow{i + 1, c.status, c.hardwareLength, c.speed, c.name});
        addresses.push_back(addressOn(i + 1));
        if (c.listed) expected.push_back(c.name + " 10.0.0."s + std::to_string(i + 1) + "/255.0.0.0");
    }
    EXPECT_EQ(build(interfaces, addresses), expected);
}

TEST_F(AdapterTableTest, OnlyTheAddress127_0_0_1IsSkippedOutright) {
    std::vector<InterfaceRow> interfaces{usable(1, "looped"), usable(2, "bare")};
    interfaces[1].hardwareAddressLength = 0;
    const std::vector<AddressRow> addresses{
        addressOn(1, Ipv4::fromOctets(127, 0, 0, 1)), addressOn(1, Ipv4::fromOctets(127, 0, 0, 2)),
        AddressRow{Ipv4{}, Ipv4{}, 1, "if1"}, addressOn(2, Ipv4::fromOctets(127, 0, 0, 3))};
    EXPECT_EQ(build(interfaces, addresses), (Lines{"looped 127.0.0.2/255.0.0.0", "looped 0.0.0.0/0.0.0.0"}));
}

TEST_F(AdapterTableTest, InterfaceWithAnIndexAboveTheRowCountIsListed) {
    std::vector<InterfaceRow> interfaces{usable(50, "high"), usable(1, "lo")};
    interfaces[1].hardwareAddressLength = 0;
    EXPECT_EQ(build(interfaces, std::vector{addressOn(50)}), Lines{"high 10.0.0.50/255.0.0.0"});
}

TEST_F(AdapterTableTest, DescriptionEndsAtItsFirstNulAndAfter255Bytes) {
    const std::vector<InterfaceRow> interfaces{usable(1, std::string(255, 'b') + "c"),
                                               usable(2, std::string(255, 'a')),
                                               usable(3, "eth\0junk"s), usable(4, ""),
                                               usable(5, "\0eth"s)};
    const auto lines = build(interfaces, std::vector{addressOn(1), addressOn(2), addressOn(3),
                                                     addressOn(4), addressOn(5)});
    ASSERT_EQ(lines.size(), 3u) << "empty descriptions contribute nothing";
    EXPECT_EQ(adapterName(table->adapters[0]), std::string(255, 'b'));
    EXPECT_EQ(table->adapters[0].name[255], '\0');
    EXPECT_EQ(adapterName(table->adapters[1]), std::string(255, 'a'));
    EXPECT_EQ(lines[2], "eth 10.0.0.3/255.0.0.0");
}

TEST_F(AdapterTableTest, FirstUsableRowOfAnIndexGivesTheName) {
    EXPECT_EQ(build(std::vector{usable(7, "first"), usable(7, "second")}, std::vector{addressOn(7)}),
              Lines{"first 10.0.0.7/255.0.0.0"});
    // An empty name is still the first entry: the address is dropped.
    EXPECT_EQ(build(std::vector{usable(7, ""), usable(7, "second")}, std::vector{addressOn(7)}),
              Lines{});
    // An unusable row never enters the list, so it shadows nothing.
    InterfaceRow down = usable(7, "down");
    down.operationalStatus = 2;
    EXPECT_EQ(build(std::vector{down, usable(7, "second")}, std::vector{addressOn(7)}),
              Lines{"second 10.0.0.7/255.0.0.0"});
}

TEST_F(AdapterTableTest, NameListHoldsTheFirst256UsableInterfacesByIndex) {
    // Given in descending order; indices 1-10 are down and take no place.
    std::vector<InterfaceRow> interfaces;
    for (std::uint32_t index = 267; index >= 1; --index) {
        interfaces.push_back(usable(index, "if" + std::to_string(index)));
        if (index <= 10) interfaces.back().operationalStatus = 2;
    }
    EXPECT_EQ(build(interfaces, std::vector{addressOn(11), addressOn(266), addressOn(267)}),
              (Lines{"if11 10.0.0.11/255.0.0.0", "if266 10.0.1.10/255.0.0.0"}));
}

TEST_F(AdapterTableTest, TableHoldsTheFirst256QualifyingAddresses) {
    // Skipped rows take no place.
    std::vector<AddressRow> addresses{addressOn(1, Ipv4::fromOctets(127, 0, 0, 1)), addressOn(9)};
    for (std::uint32_t n = 1; n <= 300; ++n) {
        addresses.push_back(addressOn(1, Ipv4::fromHostOrder(0x0A000000u + n)));
    }
    const auto lines = build(std::vector{usable(1, "eth0")}, addresses);
    ASSERT_EQ(lines.size(), 256u);
    EXPECT_EQ(lines.front(), "eth0 10.0.0.1/255.0.0.0");
    EXPECT_EQ(lines.back(), "eth0 10.0.1.0/255.0.0.0");
}

TEST_F(AdapterTableTest, MissingEitherTableLeavesTheTableEmpty) {
    const std::vector<InterfaceRow> interfaces{usable(1, "eth0")};
    const std::vector<AddressRow> addresses{addressOn(1)};
    ASSERT_EQ(build(interfaces, addresses).size(), 1u);
    EXPECT_EQ(build(std::nullopt, addresses), Lines{});
    EXPECT_EQ(table->adapterCount, 0);
    ASSERT_EQ(build(interfaces, addresses).size(), 1u);
    EXPECT_EQ(build(interfaces, std::nullopt), Lines{});
    EXPECT_EQ(table->adapterCount, 0);
}

TEST_F(AdapterTableTest, RecordKeepsTheInterfaceNameForBindingWhenItFits) {
    std::vector<AddressRow> addresses{addressOn(4), addressOn(4), addressOn(4)};
    addresses[0].interfaceName = "enp3s0";
    addresses[1].interfaceName = std::string(63, 'n');
    addresses[2].interfaceName = std::string(64, 'n');
    ASSERT_EQ(build(std::vector{usable(4, "Ethernet adapter")}, addresses).size(), 3u);
    EXPECT_EQ(adapterName(table->adapters[0]), "Ethernet adapter");
    EXPECT_EQ(adapterInterfaceName(table->adapters[0]), "enp3s0");
    EXPECT_EQ(adapterInterfaceName(table->adapters[1]), std::string(63, 'n'));
    EXPECT_EQ(adapterInterfaceName(table->adapters[2]), "");
}

TEST_F(AdapterTableTest, TheReasonsAgainstAnInterfaceDecideWhetherItsAddressIsListed) {
    using R = UnusableReason;
    InterfaceRow down = usable(1, "down");
    down.operationalStatus = 2;
    InterfaceRow bare = usable(1, "bare");
    bare.hardwareAddressLength = 0;
    InterfaceRow odd = usable(1, "odd");
    odd.linkSpeed = 0x40000000;
    struct Case {
        InterfaceRow row;
        bool hasAddress;
        std::vector<UnusableReason> reasons;
    };
    const std::vector<Case> cases{
        {usable(1, "fine"), true, {}},
        {down, true, {R::down}},
        {bare, true, {R::noHardwareAddress}},
        {odd, true, {R::rejectedLinkSpeed}},
        {usable(1, "unaddressed"), false, {R::noAddress}},
        {usable(1, ""), true, {R::noDescription}},
        {usable(1, "\0hidden"s), true, {R::noDescription}},
        {InterfaceRow{1, 7, 0, 0x40000000, ""}, false,
         {R::down, R::noHardwareAddress, R::rejectedLinkSpeed, R::noAddress,
          R::noDescription}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.description);
        EXPECT_EQ(reasonsUnusable(c.row, c.hasAddress), c.reasons);
        const std::vector<AddressRow> addresses =
            c.hasAddress ? std::vector{addressOn(1)} : std::vector<AddressRow>{};
        const bool listed = build(std::vector{c.row}, addresses).size() == 1;
        EXPECT_EQ(listed, c.reasons.empty());
        // isUsable judges the interface alone; its addresses come with the address
        // rows, and a nameless row still claims its index (see FirstUsableRow...).
        std::vector<UnusableReason> againstInterface = reasonsUnusable(c.row, true);
        std::erase(againstInterface, R::noDescription);
        EXPECT_EQ(isUsable(c.row), againstInterface.empty());
    }
    EXPECT_TRUE(isUsable(usable(1, "unaddressed")));
    EXPECT_FALSE(isUsable(odd));
}

}  // namespace
}  // namespace tamro
