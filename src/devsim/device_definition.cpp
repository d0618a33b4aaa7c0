#include "devsim/device_definition.h"

#include <algorithm>

#include "protocol/datagram_layout.h"

namespace tamro::devsim {

std::uint8_t fillerByte(const Mac& mac, std::size_t part, std::size_t offset) {
    return static_cast<std::uint8_t>((mac[5] + 0x40 * part + offset) & 0xFF);
}

ConfigurationBlocks fillerBlocks(const Mac& mac) {
    ConfigurationBlocks blocks;
    for (std::size_t slot = 0; slot < configurationBlockNumbers.size(); ++slot) {
        const auto bytes = blockBytes(blocks, slot);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = fillerByte(mac, slot, i);
        bytes[0] = 0x00;
        bytes[1] = 0x00;
        bytes[2] = 0x00;
        bytes[3] = blockReadCommand(configurationBlockNumbers[slot]);
    }
    return blocks;
}

Bytes buildDiscoveryReply(const Mac& mac, const std::array<std::uint8_t, 2>& typeCode) {
    Bytes reply(discoveryReplyLength);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = fillerByte(mac, discoveryPart, i);
    reply[0] = 0x00;
    reply[1] = 0x00;
    reply[2] = 0x00;
    reply[3] = discoveryReplyCommand;
    std::copy(typeCode.begin(), typeCode.end(), reply.begin() + discoveryTypeCodeOffset);
    std::copy(mac.begin(), mac.end(), reply.begin() + discoveryMacOffset);
    return reply;
}

}  // namespace tamro::devsim
