#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/datagram_layout.h"
#include "protocol/device_table.h"

namespace tamro {

inline constexpr std::chrono::milliseconds receiveTimeout{1000};
inline constexpr std::chrono::milliseconds discoveryWait{1000};
// Room for several hundred replies arriving at once.
inline constexpr int discoveryReceiveBufferBytes = 1 << 20;

inline constexpr std::array<std::uint8_t, headerLength> discoveryQuery = {0x00, 0x00, 0x00,
                                                                          discoveryCommand};

// Type codes of the devices this tool configures; the list ends at the
// first entry that starts with 'q', which is never compared itself.
inline constexpr std::array<std::array<char, 2>, 6> acceptedTypeCodes = {{
    {'X', '1'}, {'X', '2'}, {'X', '4'}, {'X', '5'}, {'X', '9'}, {'q', 'q'},
}};

bool isAcceptedTypeCode(const std::array<char, 2>& typeCode);

// Collects a reply of known length from the datagrams of one exchange. Each
// datagram is received into remaining() and then handed to accept(). Only
// datagrams from the peer count; anything else is ignored and must not
// extend the wait.
class ReplyCollector {
public:
    enum class Step { more, complete, ignored, failed };

    ReplyCollector(const Ipv4& peer, std::span<std::uint8_t> reply) : peer_(peer), reply_(reply) {}

    std::span<std::uint8_t> remaining() const { return reply_.subspan(received_); }
    bool complete() const { return received_ == reply_.size(); }
    // The error that ended the exchange (after Step::failed).
    SocketError error() const { return error_; }

    Step accept(const ReceivedDatagram& datagram);

private:
    Ipv4 peer_;
    std::span<std::uint8_t> reply_;
    std::size_t received_ = 0;
    SocketError error_ = 0;
};

// One request datagram to `destination`:30718 from a fresh socket, then,
// when `reply` is not empty, exactly reply.size() bytes collected from one
// or more datagrams. Only datagrams from `destination` count; anything else
// is ignored and does not extend the wait. Each genuine datagram restarts
// the 1000 ms wait. With `source` the socket is bound to that address first,
// so a broadcast leaves through that adapter. Returns 0 or the socket error.
SocketError exchangeDatagram(const Ipv4& destination, std::span<const std::uint8_t> request,
                             std::span<std::uint8_t> reply,
                             const std::optional<Ipv4>& source = std::nullopt);

// Stores one discovery datagram (at most 30 bytes; shorter ones with the
// missing bytes as zero) from `sender` into record `index`. Returns 1 when
// stored, 0 when the index is outside the table.
std::int32_t storeDiscoveryReply(DeviceTable& table, std::int32_t index,
                                 std::span<const std::uint8_t> datagram, const Ipv4& sender,
                                 std::uint16_t senderPort);

// Takes one datagram of at most 30 bytes from `socket` into record `index`.
// A shorter reply is stored with the missing bytes as zero. Returns 1 when a
// datagram was stored, 0 when the receive failed (nothing stored).
std::int32_t receiveDiscoveryReply(DeviceTable& table, UdpSocket& socket, std::int32_t index);

// Broadcasts the discovery query from adapterAddress:30718 and stores each
// reply with an accepted type code until 1000 ms pass without a datagram or
// 256 devices are held. `interfaceName`, when given, is the adapter's
// interface: a second socket there hears replies sent by broadcast, to
// 255.255.255.255 or to the subnet's broadcast address.
// Returns the number of accepted devices, or -1 when the socket cannot be
// created or bound, or the wait fails.
std::int32_t discoverDevices(DeviceTable& table, const Ipv4& adapterAddress,
                             std::string_view interfaceName = {});

// The sockets of one discovery: the query leaves from the first, replies
// arrive on either. Exposed so that the search can watch them in its own loop.
class DiscoveryListener {
public:
    DiscoveryListener() = default;
    DiscoveryListener(const DiscoveryListener&) = delete;
    DiscoveryListener& operator=(const DiscoveryListener&) = delete;

    // Opens and binds; false (with nothing open) when the adapter's port
    // cannot be had.
    bool open(const Ipv4& adapterAddress, std::string_view interfaceName);
    SocketError openError() const { return openError_; }
    void close();
    void sendQuery();
    std::span<UdpSocket* const> sockets() { return {all_.data(), broadcast_.isOpen() ? 2U : 1U}; }
    // Receives the datagram waiting on sockets()[which] into record `index`.
    // Returns true when it is an accepted device's reply (the caller counts it).
    bool receive(std::size_t which, DeviceTable& table, std::int32_t index);

private:
    Ipv4 adapterAddress_;
    UdpSocket unicast_;
    UdpSocket broadcast_;
    std::array<UdpSocket*, 2> all_{&unicast_, &broadcast_};
    SocketError openError_ = 0;
};

}  // namespace tamro
