#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter_searches.h"
#include "diff_command.h"

namespace tamro::cli {
namespace {

AdapterRecord adapter(const char* address, const char* interface) {
    AdapterRecord record;
    record.address = *parseDottedText(address);
    record.mask = *parseDottedText("255.255.255.0");
    std::strncpy(record.name.data(), interface, record.name.size() - 1);
    std::strncpy(record.interfaceName.data(), interface, record.interfaceName.size() - 1);
    return record;
}

void list(AdapterSearch& search, std::uint8_t last, const char* address) {
    DeviceRecord& record = search.table->devices[static_cast<std::size_t>(search.count)];
    record.mac = {2, 0, 0, 0, 0, last};
    std::strncpy(record.ipText.data(), address, record.ipText.size() - 1);
    ++search.count;
}

// veth0 lists ...-10 and ...-30, veth2 lists ...-20 and ...-30.
std::vector<AdapterSearch> twoSegments() {
    std::vector<AdapterSearch> searches(2);
    searches[0].adapter = adapter("10.77.0.1", "veth0");
    searches[1].adapter = adapter("10.78.0.1", "veth2");
    for (std::size_t i = 0; i < 2; ++i) {
        searches[i].position = static_cast<std::int32_t>(i);
        searches[i].count = 0;
    }
    list(searches[0], 0x10, "10.77.0.10");
    list(searches[0], 0x30, "10.77.0.30");
    list(searches[1], 0x20, "10.78.0.20");
    list(searches[1], 0x30, "10.78.0.30");
    return searches;
}

TEST(AdapterOfDevicesTest, PicksTheAdapterEveryNamedDeviceAnsweredOn) {
    const auto searches = twoSegments();
    std::string error;
    EXPECT_EQ(adapterOfDevices(searches, {"02-00-00-00-00-20"}, error), 1U) << error;
    EXPECT_EQ(adapterOfDevices(searches, {"10.77.0.10"}, error), 0U) << error;
    EXPECT_EQ(adapterOfDevices(searches, {"02-00-00-00-00-30 / 10.78.0.30"}, error), 1U) << error;
    EXPECT_EQ(adapterOfDevices(searches, {"02-00-00-00-00-10", "10.77.0.30"}, error), 0U)
        << error;
}

TEST(AdapterOfDevicesTest, RefusesWhatNamesNoOneAdapter) {
    auto searches = twoSegments();
    struct Case {
        std::vector<std::string> devices;
        std::vector<std::string> named;  // in the reason
    };
    const std::vector<Case> cases = {
        {{"02-00-00-00-00-30"}, {"10.77.0.1 (veth0)", "10.78.0.1 (veth2)", "two adapters"}},
        {{"02-00-00-00-00-10", "02-00-00-00-00-20"}, {"different adapters", "veth0", "veth2"}},
        {{"02-00-00-00-00-99"}, {"02-00-00-00-00-99", "any of the 2 adapters"}},
        {{"#0"}, {"list position"}},
        {{}, {"--all"}},
    };
    for (const Case& each : cases) {
        std::string error;
        EXPECT_FALSE(adapterOfDevices(searches, each.devices, error).has_value());
        for (const std::string& word : each.named) {
            EXPECT_NE(error.find(word), std::string::npos) << error;
        }
    }
    // A failed search hears no one.
    searches[1].count = -1;
    std::string error;
    EXPECT_EQ(adapterOfDevices(searches, {"02-00-00-00-00-30"}, error), 0U) << error;
    EXPECT_FALSE(adapterOfDevices(searches, {"02-00-00-00-00-20"}, error).has_value());
}

TEST(RecordsNamedTest, MatchesMacAndShownAddressOnlyAmongTheListed) {
    auto searches = twoSegments();
    const DeviceTable& table = *searches[0].table;
    EXPECT_EQ(recordsNamed(table, 2, *parseDeviceText("02-00-00-00-00-30")),
              std::vector<std::int32_t>{1});
    EXPECT_TRUE(recordsNamed(table, 1, *parseDeviceText("02-00-00-00-00-30")).empty());
    EXPECT_TRUE(recordsNamed(table, 2, *parseDeviceText("02-00-00-00-00-30 / 10.77.0.10")).empty());
    EXPECT_TRUE(recordsNamed(table, 2, *parseDeviceText("#1")).empty());
}

// Counts the searches that reach the host.
class CountingServices final : public DialogServices {
public:
    std::optional<std::string> executablePath() override { return std::nullopt; }
    void enumerateAdapters(AdapterTable& table) override { table.adapterCount = 0; }
    std::int32_t searchDevices(DeviceTable& table, const SearchAdapter&) override {
        ++searches;
        table.deviceCount = 0;
        return 0;
    }
    WriteOutcome writeConfiguration(const Ipv4&, const WriteControlValues&, std::int32_t,
                                    std::optional<std::int32_t>) override {
        return {};
    }
    std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>&, const Ipv4&,
                                     const Ipv4&) override {
        return 0;
    }
    std::int32_t sendEchoProbe(const Ipv4&) override { return 0; }
    int searches = 0;
};

TEST(ReplayedSearchServicesTest, HandsBackTheSearchOnceThenSearchesForReal) {
    const auto searches = twoSegments();
    CountingServices host;
    ReplayedSearchServices replay(host, searches[1]);
    auto table = std::make_unique<DeviceTable>();
    const AdapterRecord& veth2 = searches[1].adapter;
    const AdapterRecord& veth0 = searches[0].adapter;

    // Another adapter's search is not the one that ran.
    EXPECT_EQ(replay.searchDevices(*table, {veth0.address, veth0.mask, "veth0"}), 0);
    EXPECT_EQ(host.searches, 1);

    EXPECT_EQ(replay.searchDevices(*table, {veth2.address, veth2.mask, "veth2"}), 2);
    EXPECT_EQ(host.searches, 1);
    EXPECT_EQ(table->devices[0].mac, searches[1].table->devices[0].mac);
    EXPECT_STREQ(table->devices[1].ipText.data(), "10.78.0.30");

    // A second search (a verify after a write) must see the devices as they are now.
    EXPECT_EQ(replay.searchDevices(*table, {veth2.address, veth2.mask, "veth2"}), 0);
    EXPECT_EQ(host.searches, 2);
}

SettingValues values(std::initializer_list<std::pair<std::string_view, std::string>> given) {
    SettingValues result;
    for (const auto& [key, value] : given) {
        const SettingFlag* flag = findSettingKey(key);
        result[static_cast<std::size_t>(flag - settingFlags.data())] = value;
    }
    return result;
}

TEST(SettingsDifferencesTest, ListsOnlyTheFilesKeysTheDeviceHoldsOtherwise) {
    SettingsDocument file;
    file.mac = std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 0x10};
    file.values = values({{"baud", "115200"}, {"parity", "even"}, {"port", "10100"}});
    const SettingValues device =
        values({{"baud", "9600"}, {"parity", "even"}, {"port", "10100"}, {"flow", "cts-rts"}});

    const auto differences = settingsDifferences(file, std::nullopt, device);
    ASSERT_EQ(differences.size(), 1U);
    EXPECT_EQ(differences[0].key, "baud");
    EXPECT_EQ(differences[0].file, "115200");
    EXPECT_EQ(differences[0].device, "9600");

    file.values = values({{"baud", "9600"}, {"parity", "even"}, {"port", "10100"}});
    EXPECT_TRUE(settingsDifferences(file, std::nullopt, device).empty());
}

TEST(SettingsDifferencesTest, NamesTheModelAndWhatTheDeviceDoesNotHold) {
    SettingsDocument file;
    file.mac = std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 0x10};
    file.model = "QZ-100";
    file.values = values({{"remoteIp", "10.77.0.200"}, {"dataBits", "7"}});
    const SettingValues device = values({{"dataBits", "7"}});

    const auto differences = settingsDifferences(file, std::string("QZ-200"), device);
    ASSERT_EQ(differences.size(), 2U);
    EXPECT_EQ(differences[0].key, "model");
    EXPECT_EQ(differences[0].device, "QZ-200");
    EXPECT_EQ(differences[1].key, "remoteIp");
    EXPECT_EQ(differences[1].device, "-");
    EXPECT_EQ(settingsDifferences(file, std::string("QZ-100"), device).size(), 1U);
}

}  // namespace
}  // namespace tamro::cli
