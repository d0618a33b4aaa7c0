// The device protocol against tamro-devsim, inside the namespace lab that
// scripts/lab.sh builds around this program (see protocol_devices.json).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include "../platform/lab_guard.h"
#include "platform/port_holder.h"
#include "protocol/config_blocks.h"
#include "protocol/device_configuration.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"
#include "protocol/messages.h"

namespace tamro {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

Ipv4 address(const char* text) { return *parseDottedText(text); }

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The simulator's record of one device, as it last wrote its state file.
std::optional<nlohmann::json> simulatedDevice(const std::string& mac) {
    std::ifstream file(environment("TAMRO_LAB_STATE"));
    if (!file) return std::nullopt;
    const auto state = nlohmann::json::parse(file, nullptr, false);
    if (state.is_discarded()) return std::nullopt;
    for (const auto& device : state["devices"]) {
        if (device["mac"] == mac) return device;
    }
    return std::nullopt;
}

Bytes simulatedBlock(const std::string& mac, const char* block) {
    const auto device = simulatedDevice(mac);
    return device ? fromHex((*device)[block].get<std::string>()) : Bytes{};
}

// Waits (bounded) until the simulator's state satisfies `condition`.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds{3000}) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    return condition();
}

std::vector<nlohmann::json> traceLines() {
    std::vector<nlohmann::json> lines;
    std::ifstream file(environment("TAMRO_LAB_TRACE"));
    std::string line;
    while (std::getline(file, line)) {
        auto entry = nlohmann::json::parse(line, nullptr, false);
        if (!entry.is_discarded()) lines.push_back(std::move(entry));
    }
    return lines;
}

std::vector<std::string> whatTheDeviceSaw(const std::string& mac) {
    std::vector<std::string> seen;
    for (const auto& entry : traceLines()) {
        if (entry.value("dir", "") == "rx" && entry["device"].is_string() && entry["device"] == mac) {
            seen.push_back(entry.value("what", ""));
        }
    }
    return seen;
}

const Ipv4 adapterAddress = address("10.77.0.1");
const Ipv4 adapterMask = address("255.255.255.0");

class WireTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!lab::hasDefaultRoute() && !environment("TAMRO_LAB_HOST_NS").empty()) {
            insideLab = true;
            discovery = std::make_unique<DeviceTable>();
            const auto start = Clock::now();
            discoveryResult = discoverDevices(*discovery, adapterAddress, "veth0");
            discoveryMilliseconds = millisecondsSince(start);
        }
    }
    static void TearDownTestSuite() { discovery.reset(); }

    void SetUp() override {
        if (!insideLab) GTEST_FAIL() << "runs only inside the lab (scripts/lab.sh)";
    }

    static std::vector<const DeviceRecord*> discovered(const char* ip) {
        std::vector<const DeviceRecord*> found;
        for (std::int32_t i = 0; i < discovery->deviceCount; ++i) {
            const DeviceRecord& record = discovery->devices[static_cast<std::size_t>(i)];
            if (record.peer.address == address(ip)) found.push_back(&record);
        }
        return found;
    }

    static inline bool insideLab = false;
    static inline std::unique_ptr<DeviceTable> discovery;
    static inline std::int32_t discoveryResult = -1;
    static inline long long discoveryMilliseconds = 0;
};

TEST_F(WireTest, DiscoveryKeepsExactlyTheAcceptedTypeCodes) {
    ASSERT_GT(discoveryResult, 0);
    EXPECT_EQ(discoveryResult, discovery->deviceCount);
    for (const char* accepted : {"10.77.0.10", "10.77.0.11", "10.77.0.12", "10.77.0.13", "10.77.0.14"}) {
        EXPECT_EQ(discovered(accepted).size(), 1U) << accepted;
    }
    for (const char* rejected : {"10.77.0.17", "10.77.0.18", "10.77.0.19"}) {
        EXPECT_TRUE(discovered(rejected).empty()) << rejected << " has a type code that is not ours";
    }
    const auto* x4 = discovered("10.77.0.12").front();
    EXPECT_EQ(std::string(x4->typeCode.data(), 2), "X4");
    EXPECT_EQ(macText(x4->mac), "02-00-00-00-00-12");
    EXPECT_STREQ(x4->ipText.data(), "10.77.0.12");
    EXPECT_EQ(x4->peer.port, devicePort);
}

TEST_F(WireTest, DiscoveryListsADeviceThatAnswersTwiceTwice) {
    EXPECT_EQ(discovered("10.77.0.20").size(), 2U);
}

TEST_F(WireTest, DiscoverySkipsAReplyLongerThanThirtyBytes) {
    EXPECT_TRUE(discovered("10.77.0.21").empty());
}

TEST_F(WireTest, DiscoveryHearsUnicastAndBothKindsOfBroadcastReplyEachOnce) {
    EXPECT_EQ(discovered("10.77.0.10").size(), 1U) << "unicast";
    EXPECT_EQ(discovered("10.77.0.22").size(), 1U) << "to 255.255.255.255";
    EXPECT_EQ(discovered("10.77.0.28").size(), 1U) << "to the subnet's broadcast address";
}

TEST_F(WireTest, DiscoveryTakesTheMissingBytesOfAShortReplyAsZero) {
    const auto found = discovered("10.77.0.23");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(macText(found.front()->mac), "00-00-00-00-00-00");
}

TEST_F(WireTest, DiscoveryListsDevicesOffTheSubnet) {
    EXPECT_EQ(discovered("172.16.5.9").size(), 1U);
}

TEST_F(WireTest, DiscoveryKeepsWaitingWhileRepliesArrive) {
    // Replies 600 ms apart: the wait starts afresh after each one and ends
    // 1000 ms after the last, which comes 1200 ms after the query.
    EXPECT_EQ(discovered("10.77.0.24").size(), 1U);
    EXPECT_EQ(discovered("10.77.0.25").size(), 1U);
    EXPECT_GE(discoveryMilliseconds, 2200);
    EXPECT_LT(discoveryMilliseconds, 2600);
    std::cout << "discovery with replies up to 1200 ms: " << discoveryMilliseconds << " ms\n";
}

TEST_F(WireTest, DiscoveryFailsWhenThePortIsTaken) {
    UdpSocket holder;
    ASSERT_EQ(holder.open(), 0);
    ASSERT_EQ(holder.bind(adapterAddress, devicePort), 0);
    DeviceTable table;
    table.deviceCount = 7;
    EXPECT_EQ(discoverDevices(table, adapterAddress, "veth0"), -1);
    EXPECT_EQ(table.deviceCount, 0);

    // Who holds it can be told: this very process.
    const auto holders = udpPortHolders(devicePort);
    const auto ours = std::find_if(holders.begin(), holders.end(), [](const PortHolder& holder) {
        return holder.address == adapterAddress && holder.processId == ::getpid();
    });
    ASSERT_NE(ours, holders.end());
    EXPECT_EQ(describePortHolders({*ours}, devicePort),
              "UDP port 30718 is taken on 10.77.0.1 by process " + std::to_string(::getpid()) +
                  " (" + ours->program + ")");
    EXPECT_FALSE(ours->program.empty());
}

TEST_F(WireTest, DiscoverySharesThePortWithAProgramHoldingItOnAllAddresses) {
    UdpSocket holder;
    ASSERT_EQ(holder.open(), 0);
    holder.enableAddressReuse();
    ASSERT_EQ(holder.bind(Ipv4{}, devicePort), 0);
    DeviceTable table;
    EXPECT_GT(discoverDevices(table, adapterAddress, "veth0"), 0);
}

TEST_F(WireTest, ExchangeCollectsAReplySplitIntoTwoDatagrams) {
    Block0 block{};
    EXPECT_EQ(requestBlock(address("10.77.0.11"), 0, block), 1);
    EXPECT_EQ(Bytes(block.begin(), block.end()), simulatedBlock("02-00-00-00-00-11", "block0"));
}

TEST_F(WireTest, ExchangeFailsOnADatagramLargerThanTheRoomLeft) {
    Block0 block{};
    auto start = Clock::now();
    EXPECT_EQ(requestBlock(address("10.77.0.12"), 0, block), 0) << "130 bytes when 124 are expected";
    EXPECT_LT(millisecondsSince(start), 500);
    start = Clock::now();
    EXPECT_EQ(requestBlock(address("10.77.0.13"), 0, block), 0) << "two datagrams of 100";
    EXPECT_LT(millisecondsSince(start), 500);
}

TEST_F(WireTest, ExchangeFailsAfterASecondOfSilence) {
    std::array<std::uint8_t, 124> reply{};
    const auto start = Clock::now();
    EXPECT_NE(exchangeDatagram(address("10.77.0.2"), blockReadRequest(0), reply), 0);
    const auto elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 990);
    EXPECT_LT(elapsed, 1300);
}

TEST_F(WireTest, ExchangeWithoutReplyReturnsOnceSent) {
    const auto start = Clock::now();
    EXPECT_EQ(exchangeDatagram(address("10.77.0.2"), blockReadRequest(0), {}), 0);
    EXPECT_LT(millisecondsSince(start), 200);
}

TEST_F(WireTest, ASpoofedDatagramDoesNotBecomePartOfAReply) {
    Block0 block{};
    ASSERT_EQ(requestBlock(address("10.77.0.16"), 0, block), 1);
    EXPECT_EQ(Bytes(block.begin(), block.end()), simulatedBlock("02-00-00-00-00-16", "block0"));
    EXPECT_TRUE(eventually([] {
        const auto trace = traceLines();
        return std::any_of(trace.begin(), trace.end(), [](const nlohmann::json& entry) {
            return entry.value("what", "").starts_with("spoof before block 0");
        });
    })) << "the simulator did not send its spoofed datagram; the test proves nothing";
}

TEST_F(WireTest, ReadDecodesTheDevicesSettings) {
    DeviceTable table;
    table.devices[0].peer.address = address("10.77.0.10");
    ASSERT_EQ(readConfiguration(table, 0), 1);
    const DeviceRecord& record = table.devices[0];
    EXPECT_EQ(record.configured, 1);
    EXPECT_EQ(record.dhcp, 0);
    EXPECT_EQ(record.ipAddress, address("10.77.0.10"));
    EXPECT_EQ(record.netmask, adapterMask);
    EXPECT_EQ(record.baudRate, 115200);
    EXPECT_EQ(record.localPort, 10000);
    EXPECT_EQ(record.keepAlive, 30);
    EXPECT_EQ(record.connectMode & 0x0F, 0x5);
    EXPECT_EQ(record.protocol, 0);
    EXPECT_EQ(record.remoteIp, address("10.77.0.200"));
    EXPECT_EQ(record.remotePort, 4000);
    EXPECT_EQ(record.packControl, 3);
}

TEST_F(WireTest, ADeviceFailingBlockThreeIsNeverAskedForBlockSeven) {
    DeviceTable table;
    table.devices[0].peer.address = address("10.77.0.14");
    EXPECT_EQ(readConfiguration(table, 0), 0);
    EXPECT_EQ(table.devices[0].configured, 1);
    const auto seen = whatTheDeviceSaw("02-00-00-00-00-14");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "read 0"), seen.end());
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const std::string& what) { return what.starts_with("read 7"); }),
              0);
}

TEST_F(WireTest, SearchReadsTheSubnetAndDropsFailedReads) {
    DeviceTable table;
    const std::int32_t count = searchDevices(table, {adapterAddress, adapterMask, "veth0"});
    ASSERT_GT(count, 0);
    std::map<std::string, int> listed;
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        const std::string ip = toDottedText(record.peer.address);
        ++listed[ip];
        EXPECT_EQ(record.configured, ip == "172.16.5.9" ? 0 : 1) << ip;
    }
    for (const char* dropped : {"10.77.0.12", "10.77.0.13", "10.77.0.14", "10.77.0.27"}) {
        EXPECT_EQ(listed.count(dropped), 0U) << dropped << " failed its read and must not be listed";
    }
    for (const char* kept : {"10.77.0.10", "10.77.0.11", "10.77.0.16", "10.77.0.26", "172.16.5.9"}) {
        EXPECT_EQ(listed[kept], 1) << kept;
    }
    EXPECT_EQ(listed["10.77.0.20"], 2);
    const auto& settings = table.devices[0];
    EXPECT_EQ(deviceListEntry(settings).find(" / "), 17U);
}

TEST_F(WireTest, WriteSendsThePatchedBlocksInOrderAndTheDeviceRestarts) {
    const char* mac = "02-00-00-00-00-26";
    const Ipv4 device = address("10.77.0.26");
    ConfigurationBlocks before;
    ASSERT_EQ(fetchConfiguration(device, before), 1);

    WriteControlValues controls;
    controls.ipAddress = AddressFields::of(device);
    controls.netmask = AddressFields::of(adapterMask);
    controls.gateway = AddressFields::of(address("10.77.0.254"));
    controls.portText = "12345";
    controls.baudText = "921600";
    controls.baudPosition = 12;
    controls.dataBitsPosition = 1;
    controls.protocolPosition = 1;
    controls.remoteIp = AddressFields::of(address("10.77.0.99"));
    controls.remotePortText = "5000";
    controls.packPosition = 4;
    const PatchResult expected = patchConfiguration(before, controls, 44, 2);
    ASSERT_EQ(expected.error, PatchError::none);

    const WriteOutcome outcome = writeConfiguration(device, controls, 44, 2);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.message.empty());
    ASSERT_TRUE(eventually([&] {
        return simulatedBlock(mac, "block7") ==
               Bytes(expected.blocks.block7.begin(), expected.blocks.block7.end());
    }));
    EXPECT_EQ(simulatedBlock(mac, "block0"),
              Bytes(expected.blocks.block0.begin(), expected.blocks.block0.end()));
    EXPECT_EQ(simulatedBlock(mac, "block3"),
              Bytes(expected.blocks.block3.begin(), expected.blocks.block3.end()));

    // The simulator writes its trace out when it goes idle: wait for it.
    std::vector<std::string> writes;
    eventually([&] {
        writes.clear();
        for (const auto& what : whatTheDeviceSaw(mac)) {
            if (what.starts_with("write")) writes.push_back(what);
        }
        return writes.size() >= 3;
    });
    EXPECT_EQ(writes, (std::vector<std::string>{"write 0", "write 3", "write 7"}));

    // The device restarts: silent at first, then back with its new settings.
    Block0 block{};
    EXPECT_EQ(requestBlock(device, 0, block), 0);
    ASSERT_TRUE(eventually([&] {
        const auto state = simulatedDevice(mac);
        return state && (*state)["state"] == "up";
    }));
    ASSERT_EQ(requestBlock(device, 0, block), 1);
    EXPECT_EQ(block[21], 12);
}

TEST_F(WireTest, AWriteFailingOnBlockThreeLeavesBlockZeroWrittenAndSendsNoBlockSeven) {
    const char* mac = "02-00-00-00-00-15";
    const Bytes block7Before = simulatedBlock(mac, "block7");
    WriteControlValues controls;
    controls.ipAddress = AddressFields::of(address("10.77.0.15"));
    controls.netmask = AddressFields::of(adapterMask);
    controls.baudText = "9600";
    controls.baudPosition = 5;
    const WriteOutcome outcome = writeConfiguration(address("10.77.0.15"), controls, 0, std::nullopt);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.message, communicationErrorMessage);
    const Bytes block0 = simulatedBlock(mac, "block0");
    ASSERT_GE(block0.size(), 4U);
    EXPECT_EQ(Bytes(block0.begin(), block0.begin() + 4), (Bytes{0x00, 0x01, 0x00, 0xC0}));
    EXPECT_EQ(simulatedBlock(mac, "block7"), block7Before);
    const auto seen = whatTheDeviceSaw(mac);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const std::string& what) { return what.starts_with("write 7"); }),
              0);
}

TEST_F(WireTest, AssignmentLeavesThroughTheChosenAdapterAndMovesTheDevice) {
    const std::array<std::uint8_t, 6> mac = {0x02, 0x00, 0x00, 0x00, 0x56, 0x78};
    ASSERT_EQ(assignDeviceAddress(mac, address("10.77.0.30"), adapterAddress), 1);

    const std::string expected = "000000fc" "49502d5345545550" "0000" "5678" "0a4d001e";
    ASSERT_TRUE(eventually([&] {
        const auto trace = traceLines();
        return std::any_of(trace.begin(), trace.end(), [&](const nlohmann::json& entry) {
            return entry.value("dir", "") == "rx" && entry.value("what", "") == "assignment" &&
                   entry.value("hex", "") == expected &&
                   entry.value("from", "").starts_with("10.77.0.1:");
        });
    })) << "the 20 bytes did not arrive from the adapter's address";

    ASSERT_TRUE(eventually([&] {
        const auto state = simulatedDevice("02-00-00-00-56-78");
        return state && (*state)["state"] == "up" && (*state)["address"] == "10.77.0.30";
    }));
    DeviceTable table;
    const std::int32_t count = searchDevices(table, {adapterAddress, adapterMask, "veth0"});
    bool foundOnSubnet = false;
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (macText(record.mac) == "02-00-00-00-56-78") {
            foundOnSubnet = record.peer.address == address("10.77.0.30") && record.configured == 1;
        }
    }
    EXPECT_TRUE(foundOnSubnet);
}

}  // namespace
}  // namespace tamro
