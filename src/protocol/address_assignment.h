#pragma once

#include <array>
#include <cstdint>

#include "platform/ipv4.h"
#include "protocol/datagram_layout.h"

namespace tamro {

// A device off the subnet is told its new address by this broadcast alone.
std::array<std::uint8_t, assignmentPacketLength> buildAssignmentPacket(
    const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress);

}  // namespace tamro
