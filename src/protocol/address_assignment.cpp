#include "protocol/address_assignment.h"

namespace tamro {

std::array<std::uint8_t, assignmentPacketLength> buildAssignmentPacket(
    const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress) {
    return {0x00, 0x00, 0x00, 0xFC, 'I', 'P', '-', 'S', 'E', 'T', 'U', 'P', 0x00, 0x00,
            mac[4], mac[5], newAddress.bytes[0], newAddress.bytes[1], newAddress.bytes[2],
            newAddress.bytes[3]};
}

}  // namespace tamro
