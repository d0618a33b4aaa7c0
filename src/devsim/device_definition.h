#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/block_layout.h"

namespace tamro::devsim {

using Mac = std::array<std::uint8_t, 6>;
using Bytes = std::vector<std::uint8_t>;

inline constexpr std::int32_t defaultRestartMs = 300;
// Large enough for any block plus oversize faults, small enough for one UDP datagram.
inline constexpr std::size_t maxReplyLength = 1400;

// Bytes of one block, by slot.
struct ByteRange {
    std::size_t slot = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
};

// What a device does wrong, on purpose.
struct FaultDefinition {
    std::array<bool, 3> silentRead{};   // by block slot
    std::array<bool, 3> silentWrite{};  // a write that is not answered is not kept either
    std::array<std::vector<std::size_t>, 3> readSplit{};  // datagram sizes per block read
    std::vector<std::size_t> discoverySplit;
    std::int32_t splitGapMs = 0;
    std::array<std::size_t, 3> readOversize{};  // extra bytes after the block
    std::size_t discoveryOversize = 0;
    std::int32_t discoveryDelayMs = 0;
    std::int32_t blockDelayMs = 0;
    bool discoveryTwice = false;
    // Where a discovery reply goes instead of the querier: a broadcast address.
    std::optional<Ipv4> discoveryBroadcastTo;
    std::optional<Ipv4> replyFrom;      // block replies and write answers
    std::optional<Ipv4> discoveryFrom;  // discovery replies
    // A datagram from another address, sent to the requester just before a block reply.
    std::optional<Ipv4> spoofFrom;
    std::size_t spoofLength = 0;
    std::uint8_t spoofFill = 0xEE;
    std::array<bool, 3> spoofBlocks{true, true, true};
    // Bytes a write leaves as they were: a device that takes a setting and
    // comes back without it.
    std::vector<ByteRange> keepOnWrite;
};

struct DeviceDefinition {
    Ipv4 address;
    Mac mac{};
    std::array<std::uint8_t, 2> typeCode{'X', '1'};
    Bytes discoveryReply;  // 30 bytes unless given whole in the file
    ConfigurationBlocks blocks;
    std::optional<std::int32_t> restartMs;  // falls back to the global value
    FaultDefinition faults;
};

struct SimulationDefinition {
    std::optional<std::int32_t> restartMs;
    std::vector<DeviceDefinition> devices;
};

// The part of a device that filler bytes are counted in: 0, 1, 2 are the
// blocks by slot, this one the discovery reply.
inline constexpr std::size_t discoveryPart = 3;

// The recognisable filler of byte `offset` in part `part` of a device. Unnamed
// bytes hold it so a test can tell that they came back untouched.
std::uint8_t fillerByte(const Mac& mac, std::size_t part, std::size_t offset);

// Blocks of filler, each headed by the request that reads it, as a device
// sends it back.
ConfigurationBlocks fillerBlocks(const Mac& mac);

// The built discovery reply: header, type code and MAC in their places,
// filler in between.
Bytes buildDiscoveryReply(const Mac& mac, const std::array<std::uint8_t, 2>& typeCode);

}  // namespace tamro::devsim
