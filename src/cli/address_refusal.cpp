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

std::vector<std::string> addressClashProblems(const DeviceTable& table, std::int32_t listed,
                                              const Ipv4& address,
                                              const std::array<std::uint8_t, 6>& mac,
                                              bool assignment, bool force) {
    std::vector<std::string> problems;
    const std::int32_t count = std::clamp(listed, 0, maxDevices);
    for (std::int32_t i = 0; assignment && i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (record.mac != mac && record.mac[4] == mac[4] && record.mac[5] == mac[5]) {
            problems.push_back(deviceListEntry(record) +
                               " ends in the same two MAC bytes: the assignment would give it "
                               "the address too");
        }
    }
    if (!force) {
        for (const auto& other : otherDevicesAt(table, count, address, mac)) {
            problems.push_back(toDottedText(address) + " is where " + macText(other) +
                               " answers (--force gives it anyway)");
        }
    }
    return problems;
}

}  // namespace tamro::cli
