#include "adapter_searches.h"

#include <algorithm>
#include <thread>

#include "adapter_choice.h"
#include "platform/ipv4.h"

namespace tamro::cli {

std::vector<AdapterSearch> searchEveryAdapter(const AdapterTable& adapters) {
    const auto count = static_cast<std::size_t>(std::max(adapters.adapterCount, 0));
    std::vector<AdapterSearch> searches(count);
    std::vector<std::string> interfaces(searches.size());
    std::vector<std::thread> threads;
    threads.reserve(searches.size());
    for (std::size_t i = 0; i < searches.size(); ++i) {
        AdapterSearch& search = searches[i];
        search.position = static_cast<std::int32_t>(i);
        search.adapter = adapters.adapters[i];
        interfaces[i] = adapterInterfaceName(search.adapter);
        threads.emplace_back([&search, &name = interfaces[i]] {
            SearchObserver observer;
            observer.dropped = &search.dropped;
            search.count = searchDevices(
                *search.table, SearchAdapter{search.adapter.address, search.adapter.mask, name},
                observer);
        });
    }
    for (std::thread& thread : threads) thread.join();
    return searches;
}

std::vector<std::int32_t> recordsNamed(const DeviceTable& table, std::int32_t count,
                                       const DeviceText& wanted) {
    std::vector<std::int32_t> named;
    if (wanted.position || (!wanted.mac && !wanted.address)) return named;
    for (std::int32_t i = 0; i < std::min(count, maxDevices); ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (wanted.mac && record.mac != *wanted.mac) continue;
        if (wanted.address) {
            const std::string shown(record.ipText.data(),
                                    std::find(record.ipText.begin(), record.ipText.end(), '\0'));
            if (parseDottedText(shown) != wanted.address) continue;
        }
        named.push_back(i);
    }
    return named;
}

std::optional<std::size_t> adapterOfDevices(const std::vector<AdapterSearch>& searches,
                                             const std::vector<std::string>& devices,
                                             std::string& error) {
    if (devices.empty()) {
        error = "--adapter auto needs the devices named (not --all)";
        return std::nullopt;
    }
    std::optional<std::size_t> chosen;
    std::string chosenFor;
    for (const std::string& device : devices) {
        const std::optional<DeviceText> wanted = parseDeviceText(device);
        if (!wanted || wanted->position) {
            error = "--adapter auto: " + device +
                    ": name the device by its MAC or address; a list position differs from "
                    "adapter to adapter";
            return std::nullopt;
        }
        std::vector<std::size_t> heardOn;
        for (std::size_t i = 0; i < searches.size(); ++i) {
            if (searches[i].count > 0 &&
                !recordsNamed(*searches[i].table, searches[i].count, *wanted).empty()) {
                heardOn.push_back(i);
            }
        }
        if (heardOn.empty()) {
            error = "no device " + device + " was found on any of the " +
                    std::to_string(searches.size()) + " adapters";
            return std::nullopt;
        }
        if (heardOn.size() > 1) {
            error = "device " + device + " answered on two adapters, " +
                    adapterEntryText(searches[heardOn[0]].adapter) + " and " +
                    adapterEntryText(searches[heardOn[1]].adapter) +
                    "; nothing was sent (name one with --adapter)";
            return std::nullopt;
        }
        if (chosen && *chosen != heardOn.front()) {
            error = "devices " + chosenFor + " and " + device +
                    " answered on different adapters, " +
                    adapterEntryText(searches[*chosen].adapter) + " and " +
                    adapterEntryText(searches[heardOn.front()].adapter) +
                    "; nothing was sent (one adapter a command)";
            return std::nullopt;
        }
        chosen = heardOn.front();
        chosenFor = device;
    }
    return chosen;
}

std::int32_t ReplayedSearchServices::searchDevices(DeviceTable& table,
                                                  const SearchAdapter& adapter) {
    // Only the first search on the adapter it ran on is the one already made;
    // a later one (a verify) searches for real.
    if (replayed_ || adapter.address != search_.adapter.address) {
        return host_.searchDevices(table, adapter);
    }
    replayed_ = true;
    table = *search_.table;
    return search_.count;
}

}  // namespace tamro::cli
