#include "protocol/address_conflicts.h"

#include <algorithm>

namespace tamro {

std::vector<MacAddress> otherDevicesAt(const DeviceTable& table, std::int32_t listed,
                                       const Ipv4& address, const MacAddress& mac) {
    std::vector<MacAddress> others;
    const auto count = static_cast<std::size_t>(std::clamp(listed, 0, maxDevices));
    for (std::size_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[i];
        if (record.peer.address != address || record.mac == mac) continue;
        // A device that answered twice is still one other device.
        if (std::find(others.begin(), others.end(), record.mac) == others.end()) {
            others.push_back(record.mac);
        }
    }
    return others;
}

std::vector<MacAddress> otherDevicesAt(const DeviceTable& table, const Ipv4& address,
                                       const MacAddress& mac) {
    return otherDevicesAt(table, table.deviceCount, address, mac);
}

std::vector<MacAddress> devicesSharingAddress(const DeviceTable& table, std::int32_t listed,
                                              std::int32_t index) {
    if (index < 0 || index >= std::min(listed, maxDevices)) return {};
    const DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    return otherDevicesAt(table, listed, record.peer.address, record.mac);
}

}  // namespace tamro
