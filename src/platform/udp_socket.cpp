#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace tamro {

namespace {

sockaddr_in socketAddress(const Ipv4& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    std::memcpy(&result.sin_addr.s_addr, address.bytes.data(), 4);
    return result;
}

SocketError lastError() { return errno != 0 ? errno : EIO; }

}  // namespace

SocketError timedOutError() { return ETIMEDOUT; }
bool isMessageTooLong(SocketError error) { return error == EMSGSIZE; }
SocketError lastSocketError() { return lastError(); }
bool startSocketLayer() { return true; }

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, invalidHandle)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, invalidHandle);
    }
    return *this;
}

SocketError UdpSocket::open() {
    close();
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0) return lastError();
    handle_ = descriptor;
    return 0;
}

void UdpSocket::close() {
    if (isOpen()) ::close(static_cast<int>(handle_));
    handle_ = invalidHandle;
}

void UdpSocket::enableBroadcast() {
    const int on = 1;
    ::setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

void UdpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

void UdpSocket::setReceiveBufferSize(int bytes) {
    ::setsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void UdpSocket::enableAddressReuse() {
    const int on = 1;
    ::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

SocketError UdpSocket::bind(const Ipv4& address, std::uint16_t port) {
    const sockaddr_in local = socketAddress(address, port);
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return lastError();
    }
    return 0;
}

SocketError UdpSocket::bindToInterface(std::string_view interfaceName) {
    const std::string name(interfaceName);
    if (::setsockopt(handle_, SOL_SOCKET, SO_BINDTODEVICE, name.c_str(),
                     static_cast<socklen_t>(name.size())) != 0) {
        return lastError();
    }
    return 0;
}

SocketError UdpSocket::sendTo(const Ipv4& address, std::uint16_t port,
                              std::span<const std::uint8_t> datagram) {
    const sockaddr_in remote = socketAddress(address, port);
    const ssize_t sent = ::sendto(handle_, datagram.data(), datagram.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    if (sent < 0) return lastError();
    return static_cast<std::size_t>(sent) == datagram.size() ? 0 : EMSGSIZE;
}

ReceivedDatagram UdpSocket::receiveFrom(std::span<std::uint8_t> buffer) {
    ReceivedDatagram result;
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC makes the kernel tell the datagram's true length.
    const ssize_t received = ::recvfrom(handle_, buffer.data(), buffer.size(), MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received < 0) {
        result.error = (errno == EAGAIN || errno == EWOULDBLOCK) ? ETIMEDOUT : lastError();
        return result;
    }
    std::memcpy(result.senderAddress.bytes.data(), &sender.sin_addr.s_addr, 4);
    result.senderPort = ntohs(sender.sin_port);
    if (static_cast<std::size_t>(received) > buffer.size()) {
        result.error = EMSGSIZE;
        return result;
    }
    result.length = static_cast<std::size_t>(received);
    return result;
}

WaitResult waitReadableSet(std::span<UdpSocket* const> sockets, std::chrono::milliseconds timeout,
                           std::span<std::uint8_t> readable) {
    std::array<pollfd, maxWaitSockets> polled{};
    const std::size_t count = std::min({sockets.size(), readable.size(), polled.size()});
    for (std::size_t i = 0; i < count; ++i) {
        const bool open = sockets[i] != nullptr && sockets[i]->isOpen();
        polled[i].fd = open ? sockets[i]->nativeHandle() : -1;  // poll skips negative fds
        polled[i].events = POLLIN;
    }
    std::fill(readable.begin(), readable.end(), std::uint8_t{0});
    const auto remaining = std::clamp<long long>(timeout.count(), 0, 24LL * 3600 * 1000);
    int ready = 0;
    do {
        ready = ::poll(polled.data(), count, static_cast<int>(remaining));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return WaitResult::failed;
    if (ready == 0) return WaitResult::timedOut;
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (polled[i].fd >= 0 && (polled[i].revents & (POLLIN | POLLERR))) {
            readable[i] = 1;
            any = true;
        }
    }
    return any ? WaitResult::ready : WaitResult::failed;
}

}  // namespace tamro
