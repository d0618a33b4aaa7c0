#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/device_table.h"

namespace tamro {

using MacAddress = std::array<std::uint8_t, 6>;

// The MACs of the listed devices (records 0..listed-1) other than `mac`
// that answer from `address`, in list order, each once. A read or write by
// that address reaches whichever of them answers first. `listed` is what
// the search returned: a search that dropped devices leaves deviceCount at
// the number of replies, and the records past the list are not devices.
std::vector<MacAddress> otherDevicesAt(const DeviceTable& table, std::int32_t listed,
                                       const Ipv4& address, const MacAddress& mac);

// The same over records 0..deviceCount-1: right while no device was dropped.
std::vector<MacAddress> otherDevicesAt(const DeviceTable& table, const Ipv4& address,
                                       const MacAddress& mac);

// The same question for listed record `index`; empty for an index outside the list.
std::vector<MacAddress> devicesSharingAddress(const DeviceTable& table, std::int32_t listed,
                                              std::int32_t index);

}  // namespace tamro
