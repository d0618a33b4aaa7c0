#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tamro {

// A device keeps its settings in three blocks, always read and written whole.
// Bytes 0-3 are a header; bytes this program does not name go back exactly as
// the device sent them.
inline constexpr std::size_t block0Length = 124;
inline constexpr std::size_t block3Length = 130;
inline constexpr std::size_t block7Length = 130;

using Block0 = std::array<std::uint8_t, block0Length>;
using Block3 = std::array<std::uint8_t, block3Length>;
using Block7 = std::array<std::uint8_t, block7Length>;

struct ConfigurationBlocks {
    Block0 block0{};
    Block3 block3{};
    Block7 block7{};

    friend bool operator==(const ConfigurationBlocks&, const ConfigurationBlocks&) = default;
};

// Block numbers in fetch and write order. A block's slot is its place here.
inline constexpr std::array<std::uint8_t, 3> configurationBlockNumbers = {0, 3, 7};
inline constexpr std::array<std::size_t, 3> configurationBlockLengths = {block0Length, block3Length,
                                                                         block7Length};

// The slot of block `number`, or nothing when no block has that number.
constexpr std::optional<std::size_t> blockSlot(std::uint32_t number) {
    for (std::size_t slot = 0; slot < configurationBlockNumbers.size(); ++slot) {
        if (configurationBlockNumbers[slot] == number) return slot;
    }
    return std::nullopt;
}

// The bytes of the block in `slot`.
inline std::span<std::uint8_t> blockBytes(ConfigurationBlocks& blocks, std::size_t slot) {
    switch (slot) {
        case 0: return blocks.block0;
        case 1: return blocks.block3;
        default: return blocks.block7;
    }
}

inline std::span<const std::uint8_t> blockBytes(const ConfigurationBlocks& blocks,
                                                std::size_t slot) {
    switch (slot) {
        case 0: return blocks.block0;
        case 1: return blocks.block3;
        default: return blocks.block7;
    }
}

// 00 00 00 E0+n asks for block n, which comes back with that request as its
// header. A write is the whole block headed 00 F 00 C0+n, with F the block's
// write flag, and is answered by its first four bytes.
constexpr std::uint8_t blockReadCommand(std::uint8_t number) {
    return static_cast<std::uint8_t>(0xE0 + number);
}
constexpr std::uint8_t blockWriteCommand(std::uint8_t number) {
    return static_cast<std::uint8_t>(0xC0 + number);
}
inline constexpr std::array<std::uint8_t, 3> blockWriteFlags = {1, 1, 0};  // by slot

// Where the named settings sit. Addresses take four bytes in dotted order,
// ports two bytes, low byte first.
namespace block0Offset {
inline constexpr std::size_t ip = 4;
inline constexpr std::size_t hostBits = 10;
inline constexpr std::size_t keepAlive = 11;
inline constexpr std::size_t gateway = 16;
inline constexpr std::size_t serialFormat = 20;
inline constexpr std::size_t baudCode = 21;
inline constexpr std::size_t flow = 22;
inline constexpr std::size_t localPort = 24;
inline constexpr std::size_t remotePort = 26;
inline constexpr std::size_t remoteIp = 28;
inline constexpr std::size_t connectMode = 32;
inline constexpr std::size_t udpMarker = 33;
inline constexpr std::size_t packEnable = 38;
inline constexpr std::size_t packGap = 39;
}  // namespace block0Offset

namespace block3Offset {
inline constexpr std::size_t highSpeed = 120;
}  // namespace block3Offset

namespace block7Offset {
inline constexpr std::size_t firstPin = 4;  // one byte each for pins 1-3
inline constexpr std::size_t modelVariant = 129;
}  // namespace block7Offset

inline constexpr std::uint8_t packEnableBit = 0x80;  // in the pack-enable byte
inline constexpr std::uint8_t packGapMask = 0x03;    // in the pack-gap byte
inline constexpr std::uint8_t highSpeedBit = 0x80;   // in the high-speed byte

// Address bytes 0, 1 and 3 all zero: the device takes its address
// automatically. Byte 2 does not count; such devices may leave something there.
constexpr bool holdsAutomaticAddress(const Block0& block) {
    return block[block0Offset::ip] == 0 && block[block0Offset::ip + 1] == 0 &&
           block[block0Offset::ip + 3] == 0;
}

}  // namespace tamro
