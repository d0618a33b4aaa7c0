#include "protocol/exchange.h"

#include <algorithm>

namespace tamro {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds remainingUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds{0});
}

}  // namespace

bool isAcceptedTypeCode(const std::array<char, 2>& typeCode) {
    for (const auto& entry : acceptedTypeCodes) {
        if (entry[0] == 'q') break;
        if (entry[0] == typeCode[0] && entry[1] == typeCode[1]) return true;
    }
    return false;
}

SocketError exchangeDatagram(const Ipv4& destination, std::span<const std::uint8_t> request,
                             std::span<std::uint8_t> reply, const std::optional<Ipv4>& source) {
    UdpSocket socket;
    if (const SocketError error = socket.open(); error != 0) return error;
    socket.enableBroadcast();
    socket.setReceiveTimeout(receiveTimeout);
    if (source) {
        if (const SocketError error = socket.bind(*source, 0); error != 0) return error;
    }
    if (const SocketError error = socket.sendTo(destination, devicePort, request); error != 0) {
        return error;
    }
    if (reply.empty()) return 0;

    std::size_t received = 0;
    auto deadline = Clock::now() + receiveTimeout;
    UdpSocket* const sockets[] = {&socket};
    while (received < reply.size()) {
        std::size_t ready = 0;
        switch (waitReadable(sockets, remainingUntil(deadline), ready)) {
            case WaitResult::timedOut: return timedOutError();
            case WaitResult::failed: return lastSocketError();
            case WaitResult::ready: break;
        }
        const ReceivedDatagram datagram = socket.receiveFrom(reply.subspan(received));
        // Someone else on the segment must not be able to make up a reply.
        if (datagram.senderAddress != destination) {
            if (datagram.error == 0 || isMessageTooLong(datagram.error)) continue;
        }
        if (datagram.error != 0) return datagram.error;
        received += datagram.length;
        deadline = Clock::now() + receiveTimeout;
    }
    return 0;
}

std::int32_t receiveDiscoveryReply(DeviceTable& table, UdpSocket& socket, std::int32_t index) {
    if (index < 0 || index >= maxDevices) return 0;
    std::array<std::uint8_t, discoveryReplyLength> reply{};
    const ReceivedDatagram datagram = socket.receiveFrom(reply);
    if (datagram.error != 0) return 0;

    DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    record.peer = PeerAddress{2, datagram.senderPort, datagram.senderAddress};
    std::copy(reply.begin() + 24, reply.begin() + 30, record.mac.begin());
    record.ipText.fill('\0');
    const std::string text = toDottedText(datagram.senderAddress);
    std::copy_n(text.begin(), std::min(text.size(), record.ipText.size() - 1), record.ipText.begin());
    record.typeCode = {static_cast<char>(reply[8]), static_cast<char>(reply[9])};
    return 1;
}

std::int32_t discoverDevices(DeviceTable& table, const Ipv4& adapterAddress,
                             std::string_view interfaceName) {
    resetDeviceTable(table);

    UdpSocket unicast;
    if (unicast.open() != 0) return -1;
    unicast.enableBroadcast();
    unicast.setReceiveTimeout(receiveTimeout);
    unicast.setReceiveBufferSize(discoveryReceiveBufferBytes);
    if (unicast.bind(adapterAddress, devicePort) != 0) return -1;

    // A socket bound to a unicast address hears no broadcast, so replies
    // sent by broadcast need one of their own on the adapter's interface.
    // Without it discovery still works for unicast replies.
    UdpSocket broadcast;
    if (!interfaceName.empty() && broadcast.open() == 0) {
        broadcast.enableAddressReuse();
        broadcast.setReceiveBufferSize(discoveryReceiveBufferBytes);
        if (broadcast.bindToInterface(interfaceName) != 0 ||
            broadcast.bind(limitedBroadcast, devicePort) != 0) {
            broadcast.close();
        }
    }

    unicast.sendTo(limitedBroadcast, devicePort, discoveryQuery);

    UdpSocket* const both[] = {&unicast, &broadcast};
    const std::span<UdpSocket* const> sockets(both, broadcast.isOpen() ? 2 : 1);
    while (table.deviceCount < maxDevices) {
        std::size_t ready = 0;
        switch (waitReadable(sockets, discoveryWait, ready)) {
            case WaitResult::timedOut: return table.deviceCount;
            case WaitResult::failed: return -1;
            case WaitResult::ready: break;
        }
        if (receiveDiscoveryReply(table, *sockets[ready], table.deviceCount) == 0) continue;
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(table.deviceCount)];
        // Our own query comes back on the broadcast socket; it is no reply.
        if (ready == 1 && record.peer.address == adapterAddress) continue;
        if (isAcceptedTypeCode(record.typeCode)) ++table.deviceCount;
    }
    return table.deviceCount;
}

}  // namespace tamro
