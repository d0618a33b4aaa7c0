#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "platform/ipv4.h"
#include "protocol/device_address.h"
#include "protocol/device_table.h"

namespace tamro {

// The adapter a search runs on.
struct SearchAdapter {
    Ipv4 address;
    Ipv4 mask;
    std::string_view interfaceName;  // may be empty
};

// How far a search has got, for a progress line.
struct SearchProgress {
    std::int32_t replies = 0;       // accepted discovery replies so far
    std::int32_t readsStarted = 0;  // devices on the subnet whose read began
    std::int32_t readsDone = 0;     // reads that ended, either way
    bool finished = false;          // the last report of a search, success or not
};

// A device that answered discovery but whose read failed, so it is not listed.
struct DroppedDevice {
    std::array<std::uint8_t, 6> mac{};
    Ipv4 address;
    std::string reason;  // "no answer to block 3", "block 0 cannot be decoded"
};

// Optional watchers of a search. Both are used on the searching thread.
struct SearchObserver {
    std::function<void(const SearchProgress&)> onProgress;
    std::vector<DroppedDevice>* dropped = nullptr;  // filled in reply order
};

// Discovers the devices on the adapter's segment, marks which lie on its
// subnet, reads those and drops each one whose read fails. Afterwards
// records 0..result-1 are the devices to list, in the order they answered.
// Returns -1 when discovery failed.
std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter,
                           const SearchObserver& observer = {});

// "02-00-00-01-02-03 / 10.77.0.20": how a device appears in the list.
std::string deviceListEntry(const DeviceRecord& record);

}  // namespace tamro
