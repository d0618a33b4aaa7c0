#include "protocol/address_assignment.h"

#include <algorithm>

namespace tamro {

std::array<std::uint8_t, assignmentPacketLength> buildAssignmentPacket(
    const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress) {
    std::array<std::uint8_t, assignmentPacketLength> packet{};
    packet[3] = assignmentCommand;
    std::copy(assignmentTag.begin(), assignmentTag.end(), packet.begin() + assignmentTagOffset);
    packet[assignmentMacOffset] = mac[4];
    packet[assignmentMacOffset + 1] = mac[5];
    std::copy(newAddress.bytes.begin(), newAddress.bytes.end(),
              packet.begin() + assignmentAddressOffset);
    return packet;
}

}  // namespace tamro
