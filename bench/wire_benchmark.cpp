// Search timings against the simulator, run inside the namespace lab by
// scripts/benchmark.sh: the search against its floor (the last discovery
// reply plus the quiet second). Prints one table row; exits 1 when a search
// does not list every device that should be listed.

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
    if (argc < 4) {
        std::fprintf(stderr, "usage: tamro_wire_benchmark CASE EXPECTED_LISTED RUNS\n");
        return 2;
    }
    const char* caseName = argv[1];
    const int expected = std::atoi(argv[2]);
    const int runs = std::max(1, std::atoi(argv[3]));
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

    bool allListed = true;
    std::vector<double> searchTimes;
    std::vector<double> floors;
    std::vector<double> ratios;
    int fewestListed = expected;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        // The protocol's own floor: the quiet second after the last reply.
        auto lastReply = start;
        std::int32_t replies = 0;
        SearchObserver observer;
        observer.onProgress = [&](const SearchProgress& progress) {
            if (progress.replies != replies) {
                replies = progress.replies;
                lastReply = Clock::now();
            }
        };
        const std::int32_t listed = searchDevices(*table, {adapter, mask, interfaceName}, observer);
        const double searchTime = millisecondsBetween(start, Clock::now());
        const double floor = millisecondsBetween(start, lastReply) + 1000.0;
        searchTimes.push_back(searchTime);
        floors.push_back(floor);
        ratios.push_back(searchTime / floor);
        fewestListed = std::min(fewestListed, static_cast<int>(listed));
        if (listed != expected) {
            std::fprintf(stderr, "%s run %d: search listed %d of %d devices\n", caseName, run, listed,
                         expected);
            allListed = false;
        }
    }

    // Block exchanges with the devices the last search listed.
    std::vector<double> exchangeTimes;
    Block0 block{};
    const std::int32_t listed = std::max(0, table->deviceCount > 0 ? fewestListed : 0);
    for (int i = 0; i < 50 && listed > 0; ++i) {
        const DeviceRecord& record = table->devices[static_cast<std::size_t>(i % listed)];
        if (record.configured != 1) continue;
        const auto start = Clock::now();
        if (requestBlock(record.peer.address, 0, block) == 1) {
            exchangeTimes.push_back(millisecondsBetween(start, Clock::now()));
        }
    }

    // One table row: case | search | floor | ratio (worst) | listed/expected | block 0 exchange.
    std::printf("| %-14s | %8.1f ms | %8.1f ms | %5.3f | %3d/%-3d %s | %6.2f ms |\n", caseName,
                median(searchTimes), median(floors), *std::max_element(ratios.begin(), ratios.end()),
                fewestListed, expected, allListed ? "every run" : "MISSED", median(exchangeTimes));
    return allListed ? 0 : 1;
}
