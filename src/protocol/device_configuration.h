#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "protocol/device_table.h"

namespace tamro {

// Fetches block 0, 3 or 7 from the device into `reply` (124, 130, 130 bytes).
// Returns 1 on success, 0 on any failure.
std::int32_t requestBlock(const Ipv4& device, std::uint8_t blockNumber,
                          std::span<std::uint8_t> reply);

// Fetches blocks 0, 3 and 7 in order, stopping at the first failure.
std::int32_t fetchConfiguration(const Ipv4& device, ConfigurationBlocks& blocks);

// What a read does once the blocks were fetched (`fetched`) or not: marks
// the record configured and decodes the blocks into it. Returns 1 or 0.
std::int32_t storeConfiguration(DeviceRecord& record, const ConfigurationBlocks& blocks,
                                bool fetched);

// Reads the configuration of record `index` from the address it answered
// discovery from and decodes it into the record. Returns 1 or 0.
std::int32_t readConfiguration(DeviceTable& table, std::int32_t index);

struct WriteOutcome {
    std::int32_t result = 0;        // 1 when all three blocks were sent and answered
    std::string_view message;       // what the write shows on failure, else empty
    std::int32_t blocksAccepted = 0;  // blocks sent and answered, in the order 0, 3, 7
};

// Fetches the blocks afresh, patches what the dialog controls, and sends
// block 0, 3 and 7, each answered by 4 bytes. Stops at the first failure;
// blocks sent before it stay written.
WriteOutcome writeConfiguration(const Ipv4& device, const WriteControlValues& controls,
                                std::int32_t pendingKeepAlive,
                                std::optional<std::int32_t> modelVariant);

// Broadcasts the address-assignment packet once from `adapterAddress`, so it
// leaves through the chosen adapter. Returns 1 when it was sent, else 0.
std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress,
                                 const Ipv4& adapterAddress);

}  // namespace tamro
