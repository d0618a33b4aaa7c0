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

// Why a write or an assignment giving `address` to the device `mac` must not
// go out, one text per listed device (records 0..listed-1) in the way:
// another device answering from `address` (left out when `force`), and for
// an assignment, whose packet carries only the MAC's last two bytes, every
// other device ending in those bytes (no --force lets that through).
std::vector<std::string> addressClashProblems(const DeviceTable& table, std::int32_t listed,
                                              const Ipv4& address,
                                              const std::array<std::uint8_t, 6>& mac,
                                              bool assignment, bool force);

}  // namespace tamro::cli
