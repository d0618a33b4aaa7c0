#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/device_definition.h"
#include "devsim/endpoint.h"

namespace tamro::devsim {

// What one device does with the datagrams it hears, without sockets or
// clocks: the event loop delivers a datagram and carries out the response.

enum class DeviceState { up, restarting, offline };

std::string_view stateText(DeviceState state);

// A device as it runs: its definition and what the wire has made of it.
struct SimulatedDevice {
    SimulatedDevice(const DeviceDefinition& deviceDefinition, std::int32_t restartAfterMs)
        : definition(deviceDefinition),
          address(deviceDefinition.address),
          blocks(deviceDefinition.blocks),
          restartMs(restartAfterMs) {}

    DeviceDefinition definition;
    Ipv4 address;
    ConfigurationBlocks blocks;
    std::array<bool, 3> writtenSinceRestart{};  // by block slot
    DeviceState state = DeviceState::up;
    // Raised by every restart; work queued before it is then dropped.
    std::uint64_t generation = 0;
    std::int32_t restartMs = defaultRestartMs;
    std::int32_t restarts = 0;
};

// A datagram the device sends.
struct OutgoingDatagram {
    Ipv4 from;  // the local address it leaves from
    Endpoint to;
    Bytes payload;
    std::int32_t delayMs = 0;  // after the datagram that caused it came in
    std::string what;          // for the trace

    friend bool operator==(const OutgoingDatagram&, const OutgoingDatagram&) = default;
};

// A restart after which the device comes back at `address`.
struct PlannedRestart {
    Ipv4 address;
    // Nothing: at once, and nothing queued for the device goes out any more.
    // Else this long after the datagram came in, once the replies are out.
    std::optional<std::int32_t> delayMs;

    friend bool operator==(const PlannedRestart&, const PlannedRestart&) = default;
};

// What a device does about one datagram.
struct Response {
    std::string what;                       // how it was taken, for the trace
    std::vector<OutgoingDatagram> replies;  // in sending order; equal delays keep it
    bool blocksChanged = false;
    std::optional<PlannedRestart> restart;
};

// A datagram sent to the device's own address.
Response takeUnicast(SimulatedDevice& device, const Endpoint& from,
                     std::span<const std::uint8_t> datagram);

// A broadcast, which every device hears: only discovery and assignment are
// answered; a device that is not up takes nothing.
Response takeBroadcast(SimulatedDevice& device, const Endpoint& from,
                       std::span<const std::uint8_t> datagram);

// How a broadcast is traced once for all devices.
std::string_view broadcastWhat(std::span<const std::uint8_t> datagram);

// The device goes quiet: it hears nothing until it comes back, and the
// writes before the restart no longer add up to a complete one.
void beginRestart(SimulatedDevice& device);

// `payload` cut into datagrams of `sizes`, the rest in one more; a size of
// 0 is an empty datagram.
std::vector<Bytes> splitPayload(const Bytes& payload, const std::vector<std::size_t>& sizes);

}  // namespace tamro::devsim
