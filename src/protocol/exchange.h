#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/device_table.h"

namespace tamro {

inline constexpr std::uint16_t devicePort = 30718;
inline constexpr std::chrono::milliseconds receiveTimeout{1000};
inline constexpr std::chrono::milliseconds discoveryWait{1000};
inline constexpr std::size_t discoveryReplyLength = 30;
// Room for several hundred replies arriving at once.
inline constexpr int discoveryReceiveBufferBytes = 1 << 20;

inline constexpr std::array<std::uint8_t, 4> discoveryQuery = {0x00, 0x00, 0x00, 0xF6};

// Type codes of the devices this tool configures; the list ends at the
// first entry that starts with 'q', which is never compared itself.
inline constexpr std::array<std::array<char, 2>, 6> acceptedTypeCodes = {{
    {'X', '1'}, {'X', '2'}, {'X', '4'}, {'X', '5'}, {'X', '9'}, {'q', 'q'},
}};

bool isAcceptedTypeCode(const std::array<char, 2>& typeCode);

// One request datagram to `destination`:30718 from a fresh socket, then,
// when `reply` is not empty, exactly reply.size() bytes collected from one
// or more datagrams. Only datagrams from `destination` count; anything else
// is ignored and does not extend the wait. Each genuine datagram restarts
// the 1000 ms wait. With `source` the socket is bound to that address first,
// so a broadcast leaves through that adapter. Returns 0 or the socket error.
SocketError exchangeDatagram(const Ipv4& destination, std::span<const std::uint8_t> request,
                             std::span<std::uint8_t> reply,
                             const std::optional<Ipv4>& source = std::nullopt);

// Takes one datagram of at most 30 bytes from `socket` into record `index`.
// A shorter reply is stored with the missing bytes as zero. Returns 1 when a
// datagram was stored, 0 when the receive failed (nothing stored).
std::int32_t receiveDiscoveryReply(DeviceTable& table, UdpSocket& socket, std::int32_t index);

// Broadcasts the discovery query from adapterAddress:30718 and stores each
// reply with an accepted type code until 1000 ms pass without a datagram or
// 256 devices are held. `interfaceName`, when given, is the adapter's
// interface: a second socket there hears replies sent by broadcast.
// Returns the number of accepted devices, or -1 when the socket cannot be
// created or bound, or the wait fails.
std::int32_t discoverDevices(DeviceTable& table, const Ipv4& adapterAddress,
                             std::string_view interfaceName = {});

}  // namespace tamro
