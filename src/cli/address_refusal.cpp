#include "address_refusal.h"

#include <algorithm>

#include "protocol/address_conflicts.h"
#include "protocol/device_address.h"
#include "protocol/device_search.h"

namespace tamro::cli {

std::string addressFaultSentence(const Ipv4& address, AddressFault fault) {
    return toDottedText(address) + " is " + std::string(addressFaultText(fault)) +
           ": no device should have it";
}

std::string writeRefusalText(const WriteAttempt& attempt) {
    if (attempt.failedCheck == WriteCheck::address) {
        return addressFaultSentence(attempt.refusedAddress, attempt.addressFault);
    }
    return attempt.message;
}

std::vector<std::string> takenAddressProblems(const DeviceTable& table, const Ipv4& address,
                                              const std::array<std::uint8_t, 6>& mac) {
    std::vector<std::string> problems;
    for (const auto& other : otherDevicesAt(table, address, mac)) {
        problems.push_back(toDottedText(address) + " is where " + macText(other) +
                           " answers (--force gives it anyway)");
    }
    return problems;
}

std::vector<const DeviceRecord*> sameLastTwoBytes(const DeviceTable& table,
                                                  const std::array<std::uint8_t, 6>& mac) {
    std::vector<const DeviceRecord*> others;
    const std::int32_t count = std::clamp(table.deviceCount, 0, maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (record.mac != mac && record.mac[4] == mac[4] && record.mac[5] == mac[5]) {
            others.push_back(&record);
        }
    }
    return others;
}

}  // namespace tamro::cli
