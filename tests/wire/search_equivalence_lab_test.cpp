// The overlapped search against the plain one (discovery, then one device
// after the other), on generated sets of simulated devices. Each set gets a
// simulator of its own in the lab's device namespace.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "../platform/lab_guard.h"
#include "hostnet/subnet.h"
#include "protocol/device_configuration.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"

namespace tamro {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string devsimPath;

const SearchAdapter adapter{*parseDottedText("10.77.0.1"), *parseDottedText("255.255.255.0"), "veth0"};

// What the search did before reads overlapped discovery: the reference.
std::int32_t searchOneAfterAnother(DeviceTable& table, const SearchAdapter& on) {
    std::int32_t count = discoverDevices(table, on.address, on.interfaceName);
    if (count < 0) return -1;
    for (std::int32_t i = 0; i < count;) {
        DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        record.configured = sameSubnet(on.address, on.mask, record.peer.address);
        if (record.configured == 1 && readConfiguration(table, i) == 0) {
            dropDeviceInPlace(table, i);
            --count;
            continue;
        }
        ++i;
    }
    return count;
}

// A simulator for one devices file, ended when this goes out of scope.
class Simulator {
public:
    explicit Simulator(const json& devices) {
        directory_ = std::filesystem::temp_directory_path() /
                     ("tamro-equivalence-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        const auto file = directory_ / "devices.json";
        std::ofstream(file) << devices.dump();
        const auto ready = directory_ / "ready";
        std::filesystem::remove(ready);
        const std::string command = "ip netns exec " + environment("TAMRO_LAB_DEVICE_NS") + " " +
                                    devsimPath + " --devices " + file.string() +
                                    " --interface veth1 --max-seconds 60 --ready-file " +
                                    ready.string() + " >/dev/null 2>&1 & echo $! >" +
                                    (directory_ / "pid").string();
        if (std::system(command.c_str()) != 0) return;
        for (int i = 0; i < 200 && !std::filesystem::exists(ready); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds{25});
        }
        std::ifstream(directory_ / "pid") >> pid_;
        ready_ = std::filesystem::exists(ready) && std::filesystem::file_size(ready) > 0;
    }
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            // Not our child: wait for it to be gone, so its addresses go too.
            for (int i = 0; i < 100 && std::filesystem::exists("/proc/" + std::to_string(pid_)); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds{20});
            }
        }
        std::filesystem::remove_all(directory_);
    }
    bool ready() const { return ready_; }

private:
    std::filesystem::path directory_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A set of devices with every kind of trouble the search must sort out.
// Each device answers discovery at its own moment, so reply order is fixed.
json generateDevices(unsigned seed, int count) {
    std::mt19937 random(seed);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    json devices = json::array();
    for (int i = 0; i < count; ++i) {
        const bool offSubnet = chance(12);
        json device = {
            {"address", offSubnet ? "172.16.5." + std::to_string(10 + i) : "10.77.0." + std::to_string(10 + i)},
            {"mac", "02-00-00-00-" + std::to_string(10 + seed % 80) + "-" + std::to_string(10 + i)},
            {"type_code", chance(10) ? (chance(50) ? "X3" : "qq") : std::string(1, 'X') + "12459"[random() % 5]},
        };
        json faults = {{"discovery_delay_ms", 12 * i}};
        if (chance(25)) faults["silent_reads"] = json::array({std::array{0, 3, 7}[random() % 3]});
        if (chance(10)) faults["discovery_twice"] = true;
        if (chance(10)) faults["oversize"] = {{"3", 4}};
        if (chance(15)) faults["split"] = {{"0", json::array({60, 64})}};
        if (chance(15)) faults["block_delay_ms"] = static_cast<int>(random() % 40);
        if (chance(10)) faults["spoof"] = {{"from", "10.77.0.99"}, {"length", 130}, {"blocks", {7}}};
        if (chance(8)) device["discovery_hex"] = "00000000000000005831";
        if (chance(20)) device["settings"] = {{"baud", 115200}, {"data_bits", 7}, {"parity", "even"}};
        device["faults"] = faults;
        devices.push_back(device);
    }
    return {{"restart_ms", 300}, {"devices", devices}};
}

class SearchEquivalence : public testing::Test {
protected:
    void SetUp() override {
        if (lab::hasDefaultRoute() || environment("TAMRO_LAB_DEVICE_NS").empty()) {
            GTEST_FAIL() << "runs only inside the lab (scripts/lab.sh)";
        }
        // The lab's own simulator would answer every discovery too.
        if (const std::string pid = environment("TAMRO_LAB_DEVSIM_PID"); !pid.empty()) {
            ::kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds{200});
        }
    }
};

TEST_F(SearchEquivalence, OverlappedSearchLeavesTheTableTheSequentialSearchLeaves) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Simulator simulator(generateDevices(seed, 10 + static_cast<int>(seed % 3) * 4));
        ASSERT_TRUE(simulator.ready());

        auto reference = std::make_unique<DeviceTable>();
        const std::int32_t expected = searchOneAfterAnother(*reference, adapter);
        ASSERT_GT(expected, 0);

        auto table = std::make_unique<DeviceTable>();
        std::vector<DroppedDevice> dropped;
        SearchProgress last;
        SearchObserver observer;
        observer.dropped = &dropped;
        observer.onProgress = [&](const SearchProgress& progress) { last = progress; };
        EXPECT_EQ(searchDevices(*table, adapter, observer), expected);
        EXPECT_EQ(table->deviceCount, reference->deviceCount);
        // Every record, listed or not, byte for byte.
        for (std::size_t i = 0; i < table->devices.size(); ++i) {
            ASSERT_EQ(table->devices[i], reference->devices[i]) << "record " << i;
        }
        EXPECT_EQ(last.replies, reference->deviceCount);
        EXPECT_EQ(last.readsDone, last.readsStarted);
        EXPECT_EQ(static_cast<std::int32_t>(dropped.size()), reference->deviceCount - expected);
    }
}

TEST_F(SearchEquivalence, SixDeadOfSixtyFourLeaveTheLiveOnesInReplyOrder) {
    json devices = json::array();
    for (int i = 0; i < 64; ++i) {
        json device = {{"address", "10.77.0." + std::to_string(100 + i)},
                       {"mac", "02-00-00-00-01-" + std::to_string(10 + i)}};
        // Reverse order of addresses, so reply order is not address order.
        json faults = {{"discovery_delay_ms", 4 * (63 - i)}};
        if (i % 11 == 5) faults["silent_reads"] = {0, 3, 7};
        device["faults"] = faults;
        devices.push_back(device);
    }
    Simulator simulator(json{{"devices", devices}});
    ASSERT_TRUE(simulator.ready());
    auto table = std::make_unique<DeviceTable>();
    ASSERT_EQ(searchDevices(*table, adapter), 58);
    int previous = 1000;
    for (std::int32_t i = 0; i < 58; ++i) {
        const int last = table->devices[static_cast<std::size_t>(i)].peer.address.bytes[3];
        EXPECT_LT(last, previous) << "record " << i;
        EXPECT_NE((last - 100) % 11, 5) << "a dead device is listed";
        previous = last;
    }
}

TEST_F(SearchEquivalence, ADeadDeviceAnsweringLastEndsTheSearchWithTheQuietSecond) {
    // Read one after the other this would take the quiet second and then a
    // whole receive time-out more.
    Simulator simulator(json{{"devices", json::array({
        {{"address", "10.77.0.30"}, {"mac", "02-00-00-00-02-30"}},
        {{"address", "10.77.0.31"}, {"mac", "02-00-00-00-02-31"},
         {"faults", {{"discovery_delay_ms", 300}, {"silent_reads", {0}}}}},
    })}});
    ASSERT_TRUE(simulator.ready());
    auto table = std::make_unique<DeviceTable>();
    const auto start = Clock::now();
    EXPECT_EQ(searchDevices(*table, adapter), 1);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::cout << "search with a dead device answering at 300 ms: " << took.count() << " ms\n";
    EXPECT_LT(took.count(), 300 + 1000 + 500);
}

}  // namespace
}  // namespace tamro

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tamro_search_equivalence_lab_tests TAMRO_DEVSIM\n");
        return 2;
    }
    tamro::devsimPath = argv[1];
    return RUN_ALL_TESTS();
}
