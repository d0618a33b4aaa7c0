#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/address_rules.h"
#include "protocol/device_table.h"
#include "ui/dialog_outcomes.h"

namespace tamro::cli {

// "10.77.0.255 is the broadcast address of its subnet".
std::string addressFaultSentence(const Ipv4& address, AddressFault fault);

// Why the dialog refused a write, in the command line's words: the address
// rule named in English, any other check by the dialog's own message.
std::string writeRefusalText(const WriteAttempt& attempt);

// Why giving `address` to the device `mac` would take another listed
// device's address, one text per such device ("" when none does).
std::vector<std::string> takenAddressProblems(const DeviceTable& table, const Ipv4& address,
                                              const std::array<std::uint8_t, 6>& mac);

// The listed devices other than `mac` that an address assignment for `mac`
// would restart too: the packet carries only the MAC's last two bytes.
std::vector<const DeviceRecord*> sameLastTwoBytes(const DeviceTable& table,
                                                  const std::array<std::uint8_t, 6>& mac);

}  // namespace tamro::cli
