#include "protocol/device_table.h"

#include <algorithm>

namespace tamro {

DeviceTable& processDeviceTable() {
    static DeviceTable table;
    return table;
}

void resetDeviceTable(DeviceTable& table) { table.deviceCount = 0; }

void dropDeviceInPlace(DeviceTable& table, std::int32_t index) {
    if (index < 0 || index >= maxDevices) return;
    auto first = table.devices.begin() + index;
    std::move(first + 1, table.devices.end(), first);
}

bool removeDevice(DeviceTable& table, std::int32_t index) {
    if (index < 0 || index >= table.deviceCount) return false;
    dropDeviceInPlace(table, index);
    return true;
}

}  // namespace tamro
