#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ipv4.h"
#include "protocol/device_table.h"

namespace tamro {

// The adapter a search runs on.
struct SearchAdapter {
    Ipv4 address;
    Ipv4 mask;
    std::string_view interfaceName;  // may be empty
};

// Discovers the devices on the adapter's segment, marks which lie on its
// subnet, reads those and drops each one whose read fails. Afterwards
// records 0..result-1 are the devices to list, in the order they answered.
// Returns -1 when discovery failed.
std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter);

// "02-00-00-01-02-03 / 10.77.0.20": how a device appears in the list.
std::string deviceListEntry(const DeviceRecord& record);

// "02-00-00-01-02-03".
std::string macText(const std::array<std::uint8_t, 6>& mac);

// Reads "02-00-00-01-02-03" or "02:00:00:01:02:03" (either case).
std::optional<std::array<std::uint8_t, 6>> parseMacText(std::string_view text);

}  // namespace tamro
