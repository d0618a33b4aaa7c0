// Discovery, search and block exchange timings against the simulator, run
// inside the namespace lab by scripts/benchmark.sh. Prints figures; exits 1
// when a discovery does not accept every simulated device.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "protocol/device_configuration.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tamro;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tamro_wire_benchmark EXPECTED_DEVICES RUNS\n");
        return 2;
    }
    const int expected = std::atoi(argv[1]);
    const int runs = std::max(1, std::atoi(argv[2]));
    const char* adapterText = std::getenv("TAMRO_LAB_ADAPTER");
    const char* interfaceName = std::getenv("TAMRO_LAB_ADAPTER_IF");
    const char* maskText = std::getenv("TAMRO_LAB_MASK");
    if (adapterText == nullptr || interfaceName == nullptr || maskText == nullptr) {
        std::fprintf(stderr, "runs only inside the lab (scripts/lab.sh)\n");
        return 2;
    }
    const Ipv4 adapter = *parseDottedText(adapterText);
    const Ipv4 mask = *parseDottedText(maskText);
    auto table = std::make_unique<DeviceTable>();

    bool allAccepted = true;
    std::vector<double> discoveryTimes;
    std::vector<double> searchTimes;
    std::vector<double> searchBeyondWindow;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const std::int32_t found = discoverDevices(*table, adapter, interfaceName);
        discoveryTimes.push_back(millisecondsBetween(start, Clock::now()));
        if (found != expected) {
            std::fprintf(stderr, "run %d: discovery accepted %d of %d devices\n", run, found, expected);
            allAccepted = false;
        }

        const auto searchStart = Clock::now();
        const std::int32_t listed = searchDevices(*table, {adapter, mask, interfaceName});
        const double searchTime = millisecondsBetween(searchStart, Clock::now());
        searchTimes.push_back(searchTime);
        // What the search spends after its discovery: the reads.
        searchBeyondWindow.push_back((searchTime - discoveryTimes.back()) / searchTime);
        if (listed != expected) {
            std::fprintf(stderr, "run %d: search listed %d of %d devices\n", run, listed, expected);
            allAccepted = false;
        }
    }

    // Block exchanges with the devices the last search listed.
    std::vector<double> exchangeTimes;
    Block0 block{};
    for (int i = 0; i < 200 && expected > 0; ++i) {
        const DeviceRecord& record = table->devices[static_cast<std::size_t>(i % expected)];
        const auto start = Clock::now();
        if (requestBlock(record.peer.address, 0, block) != 1) {
            std::fprintf(stderr, "block exchange %d failed\n", i);
            allAccepted = false;
        }
        exchangeTimes.push_back(millisecondsBetween(start, Clock::now()));
    }

    std::printf("devices %d, runs %d\n", expected, runs);
    std::printf("  discovery        median %8.1f ms  max %8.1f ms  (ends at the 1000 ms quiet window, or at once at 256)\n",
                median(discoveryTimes), *std::max_element(discoveryTimes.begin(), discoveryTimes.end()));
    std::printf("  search           median %8.1f ms  max %8.1f ms\n", median(searchTimes),
                *std::max_element(searchTimes.begin(), searchTimes.end()));
    std::printf("  search spent beyond discovery (reads): median %.1f %%\n", 100.0 * median(searchBeyondWindow));
    if (!exchangeTimes.empty()) {
        std::printf("  block 0 exchange median %8.3f ms  max %8.3f ms  (%zu exchanges)\n",
                    median(exchangeTimes), *std::max_element(exchangeTimes.begin(), exchangeTimes.end()),
                    exchangeTimes.size());
    }
    std::printf("  all devices accepted in every run: %s\n", allAccepted ? "yes" : "NO");
    return allAccepted ? 0 : 1;
}
