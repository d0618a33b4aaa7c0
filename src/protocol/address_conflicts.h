#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/device_table.h"

namespace tamro {

// The MACs of the listed devices (records 0..deviceCount-1) other than `mac`
// that answer from `address`, in list order, each once.
std::vector<std::array<std::uint8_t, 6>> otherDevicesAt(const DeviceTable& table,
                                                        const Ipv4& address,
                                                        const std::array<std::uint8_t, 6>& mac);

}  // namespace tamro
