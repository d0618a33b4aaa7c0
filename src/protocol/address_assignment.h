#pragma once

#include <array>
#include <cstdint>

#include "platform/ipv4.h"

namespace tamro {

inline constexpr std::size_t assignmentPacketLength = 20;

// 00 00 00 FC "IP-SETUP" 00 00, the last two MAC bytes, the new address.
// A device off the subnet is told its new address by this broadcast alone.
std::array<std::uint8_t, assignmentPacketLength> buildAssignmentPacket(
    const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress);

}  // namespace tamro
