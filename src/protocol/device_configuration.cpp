#include "protocol/device_configuration.h"

#include <initializer_list>
#include <span>

#include "protocol/address_assignment.h"
#include "protocol/exchange.h"
#include "protocol/messages.h"

namespace tamro {

namespace {

inline constexpr std::size_t writeAnswerLength = 4;

std::int32_t sendBlock(const Ipv4& device, std::span<const std::uint8_t> block) {
    std::array<std::uint8_t, writeAnswerLength> answer{};
    return exchangeDatagram(device, block, answer) == 0 ? 1 : 0;
}

}  // namespace

std::int32_t requestBlock(const Ipv4& device, std::uint8_t blockNumber,
                          std::span<std::uint8_t> reply) {
    const auto request = blockReadRequest(blockNumber);
    return exchangeDatagram(device, request, reply) == 0 ? 1 : 0;
}

std::int32_t fetchConfiguration(const Ipv4& device, ConfigurationBlocks& blocks) {
    return requestBlock(device, 0, blocks.block0) && requestBlock(device, 3, blocks.block3) &&
                   requestBlock(device, 7, blocks.block7)
               ? 1
               : 0;
}

std::int32_t readConfiguration(DeviceTable& table, std::int32_t index) {
    if (index < 0 || index >= maxDevices) return 0;
    DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    ConfigurationBlocks blocks;
    const bool fetched = fetchConfiguration(record.peer.address, blocks) != 0;
    return storeConfiguration(record, blocks, fetched);
}

std::int32_t storeConfiguration(DeviceRecord& record, const ConfigurationBlocks& blocks,
                                bool fetched) {
    record.configured = 1;
    if (!fetched) return 0;
    return decodeConfiguration(blocks, record.peer.address, record);
}

WriteOutcome writeConfiguration(const Ipv4& device, const WriteControlValues& controls,
                                std::int32_t pendingKeepAlive,
                                std::optional<std::int32_t> modelVariant) {
    ConfigurationBlocks fetched;
    if (!fetchConfiguration(device, fetched)) return {0, communicationErrorMessage};

    const PatchResult patched =
        patchConfiguration(fetched, controls, pendingKeepAlive, modelVariant);
    if (patched.error != PatchError::none) return {0, patchErrorMessage(patched.error)};

    // In the write's order; a block the device answered stays written even
    // when a later one fails, so the count says how far the device got.
    std::int32_t accepted = 0;
    using Bytes = std::span<const std::uint8_t>;
    for (const Bytes block : {Bytes(patched.blocks.block0), Bytes(patched.blocks.block3),
                              Bytes(patched.blocks.block7)}) {
        if (!sendBlock(device, block)) return {0, communicationErrorMessage, accepted};
        ++accepted;
    }
    return {1, {}, accepted};
}

std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress,
                                 const Ipv4& adapterAddress) {
    const auto packet = buildAssignmentPacket(mac, newAddress);
    return exchangeDatagram(limitedBroadcast, packet, {}, adapterAddress) == 0 ? 1 : 0;
}

}  // namespace tamro
