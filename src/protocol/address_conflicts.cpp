#include "protocol/address_conflicts.h"

#include <algorithm>

namespace tamro {

std::vector<std::array<std::uint8_t, 6>> otherDevicesAt(const DeviceTable& table,
                                                        const Ipv4& address,
                                                        const std::array<std::uint8_t, 6>& mac) {
    std::vector<std::array<std::uint8_t, 6>> others;
    const std::int32_t count = std::clamp(table.deviceCount, 0, maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (record.mac == mac || record.peer.address != address) continue;
        if (std::find(others.begin(), others.end(), record.mac) == others.end()) {
            others.push_back(record.mac);
        }
    }
    return others;
}

}  // namespace tamro
