#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tamro {

// Devices listen on this UDP port and answer from it.
inline constexpr std::uint16_t devicePort = 30718;

// Every datagram starts 00, a flag, 00, a command byte; a request without
// data is that header alone.
inline constexpr std::size_t headerLength = 4;

inline constexpr std::uint8_t discoveryCommand = 0xF6;

// The discovery reply: 00 00 00 F7, the type code at 8-9, the MAC at 24-29.
inline constexpr std::uint8_t discoveryReplyCommand = 0xF7;
inline constexpr std::size_t discoveryReplyLength = 30;
inline constexpr std::size_t discoveryTypeCodeOffset = 8;
inline constexpr std::size_t discoveryMacOffset = 24;

// The address assignment: 00 00 00 FC "IP-SETUP" 00 00, the last two MAC
// bytes, the new address. Only those two MAC bytes tell devices apart.
inline constexpr std::uint8_t assignmentCommand = 0xFC;
inline constexpr std::string_view assignmentTag = "IP-SETUP";
inline constexpr std::size_t assignmentTagOffset = headerLength;
inline constexpr std::size_t assignmentMacOffset = 14;
inline constexpr std::size_t assignmentAddressOffset = 16;
inline constexpr std::size_t assignmentPacketLength = 20;

}  // namespace tamro
