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

ReplyCollector::Step ReplyCollector::accept(const ReceivedDatagram& datagram) {
    // Someone else on the segment must not be able to make up a reply.
    if (datagram.senderAddress != peer_) {
        if (datagram.error == 0 || isMessageTooLong(datagram.error)) return Step::ignored;
    }
    if (datagram.error != 0) {
        error_ = datagram.error;
        return Step::failed;
    }
    received_ += std::min(datagram.length, reply_.size() - received_);
    return complete() ? Step::complete : Step::more;
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

    ReplyCollector collector(destination, reply);
    auto deadline = Clock::now() + receiveTimeout;
    UdpSocket* const sockets[] = {&socket};
    while (!collector.complete()) {
        std::size_t ready = 0;
        switch (waitReadable(sockets, remainingUntil(deadline), ready)) {
            case WaitResult::timedOut: return timedOutError();
            case WaitResult::failed: return lastSocketError();
            case WaitResult::ready: break;
        }
        switch (collector.accept(socket.receiveFrom(collector.remaining()))) {
            case ReplyCollector::Step::failed: return collector.error();
            case ReplyCollector::Step::ignored: break;
            case ReplyCollector::Step::more:
            case ReplyCollector::Step::complete: deadline = Clock::now() + receiveTimeout; break;
        }
    }
    return 0;
}

std::int32_t storeDiscoveryReply(DeviceTable& table, std::int32_t index,
                                 std::span<const std::uint8_t> datagram, const Ipv4& sender,
                                 std::uint16_t senderPort) {
    if (index < 0 || index >= maxDevices) return 0;
    std::array<std::uint8_t, discoveryReplyLength> reply{};
    std::copy_n(datagram.begin(), std::min(datagram.size(), reply.size()), reply.begin());

    DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    record.peer = PeerAddress{2, senderPort, sender};
    std::copy_n(reply.begin() + discoveryMacOffset, record.mac.size(), record.mac.begin());
    record.ipText.fill('\0');
    const std::string text = toDottedText(sender);
    std::copy_n(text.begin(), std::min(text.size(), record.ipText.size() - 1), record.ipText.begin());
    record.typeCode = {static_cast<char>(reply[discoveryTypeCodeOffset]),
                       static_cast<char>(reply[discoveryTypeCodeOffset + 1])};
    return 1;
}

std::int32_t receiveDiscoveryReply(DeviceTable& table, UdpSocket& socket, std::int32_t index) {
    if (index < 0 || index >= maxDevices) return 0;
    std::array<std::uint8_t, discoveryReplyLength> reply{};
    const ReceivedDatagram datagram = socket.receiveFrom(reply);
    if (datagram.error != 0) return 0;
    return storeDiscoveryReply(table, index, std::span(reply).first(datagram.length),
                               datagram.senderAddress, datagram.senderPort);
}

bool DiscoveryListener::open(const Ipv4& adapterAddress, std::string_view interfaceName) {
    adapterAddress_ = adapterAddress;
    // Address reuse lets us share the port with another program that holds
    // it on all addresses, where the system allows that.
    if ((openError_ = unicast_.open()) != 0) return false;
    unicast_.enableBroadcast();
    unicast_.enableAddressReuse();
    unicast_.setReceiveTimeout(receiveTimeout);
    unicast_.setReceiveBufferSize(discoveryReceiveBufferBytes);
    if ((openError_ = unicast_.bind(adapterAddress, devicePort)) != 0) {
        unicast_.close();
        return false;
    }

    // A socket bound to a unicast address hears no broadcast, so replies
    // sent by broadcast (limited or the subnet's) need a wildcard socket tied
    // to the adapter's interface. Unicast replies still reach the first one,
    // which is bound more specifically; broadcasts never do, so each reply
    // arrives once. Without it discovery still works for unicast replies.
    if (!interfaceName.empty() && broadcast_.open() == 0) {
        broadcast_.enableAddressReuse();
        broadcast_.setReceiveBufferSize(discoveryReceiveBufferBytes);
        if (broadcast_.bindToInterface(interfaceName) != 0 ||
            broadcast_.bind(Ipv4{}, devicePort) != 0) {
            broadcast_.close();
        }
    }
    return true;
}

void DiscoveryListener::close() {
    unicast_.close();
    broadcast_.close();
}

void DiscoveryListener::sendQuery() { unicast_.sendTo(limitedBroadcast, devicePort, discoveryQuery); }

bool DiscoveryListener::receive(std::size_t which, DeviceTable& table, std::int32_t index) {
    if (which >= sockets().size()) return false;
    if (receiveDiscoveryReply(table, *all_[which], index) == 0) return false;
    const DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    // Our own query comes back wherever broadcasts are heard (the wildcard
    // socket, or on Windows the adapter's own); it is no reply.
    if (record.peer.address == adapterAddress_) return false;
    return isAcceptedTypeCode(record.typeCode);
}

std::int32_t discoverDevices(DeviceTable& table, const Ipv4& adapterAddress,
                             std::string_view interfaceName) {
    resetDeviceTable(table);
    DiscoveryListener listener;
    if (!listener.open(adapterAddress, interfaceName)) return -1;
    listener.sendQuery();
    while (table.deviceCount < maxDevices) {
        std::size_t ready = 0;
        switch (waitReadable(listener.sockets(), discoveryWait, ready)) {
            case WaitResult::timedOut: return table.deviceCount;
            case WaitResult::failed: return -1;
            case WaitResult::ready: break;
        }
        if (listener.receive(ready, table, table.deviceCount)) ++table.deviceCount;
    }
    return table.deviceCount;
}

}  // namespace tamro
