#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ipv4.h"

namespace tamro {

// "02-00-00-01-02-03".
std::string macText(const std::array<std::uint8_t, 6>& mac);

// Reads "02-00-00-01-02-03" or "02:00:00:01:02:03" (either case, one
// separator throughout).
std::optional<std::array<std::uint8_t, 6>> parseMacText(std::string_view text);

// An address a device can answer from: not 0.x, not loopback, not multicast
// or above.
constexpr bool isUsableUnicast(const Ipv4& address) {
    const auto first = address.bytes[0];
    return first != 0 && first != 127 && first < 224;
}

}  // namespace tamro
