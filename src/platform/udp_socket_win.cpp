// The datagram socket on Windows sockets 2.

// select watches as many sockets as one wait may be given.
#define FD_SETSIZE 512
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/udp_socket.h"

static_assert(FD_SETSIZE >= tamro::maxWaitSockets, "select must watch every socket of a wait");

namespace tamro {

namespace {

sockaddr_in socketAddress(const Ipv4& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    std::memcpy(&result.sin_addr.s_addr, address.bytes.data(), 4);
    return result;
}

SocketError lastError() {
    const int error = ::WSAGetLastError();
    return error != 0 ? error : WSAEINVAL;
}

SOCKET native(UdpSocket::NativeHandle handle) { return static_cast<SOCKET>(handle); }

}  // namespace

SocketError timedOutError() { return WSAETIMEDOUT; }
bool isMessageTooLong(SocketError error) { return error == WSAEMSGSIZE; }
SocketError lastSocketError() { return lastError(); }

bool startSocketLayer() {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

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
    const SOCKET created = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (created == INVALID_SOCKET) return lastError();
    handle_ = static_cast<NativeHandle>(created);
    return 0;
}

void UdpSocket::close() {
    if (isOpen()) ::closesocket(native(handle_));
    handle_ = invalidHandle;
}

void UdpSocket::enableBroadcast() {
    const BOOL on = TRUE;
    ::setsockopt(native(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

void UdpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    // Windows takes the time-out as a DWORD of milliseconds, not a timeval.
    const DWORD value = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, 0x7FFFFFFF));
    ::setsockopt(native(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                 sizeof value);
}

void UdpSocket::setReceiveBufferSize(int bytes) {
    ::setsockopt(native(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
}

void UdpSocket::enableAddressReuse() {
    const BOOL on = TRUE;
    ::setsockopt(native(handle_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

SocketError UdpSocket::bind(const Ipv4& address, std::uint16_t port) {
    const sockaddr_in local = socketAddress(address, port);
    if (::bind(native(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return lastError();
    }
    return 0;
}

SocketError UdpSocket::bindToInterface(std::string_view) { return WSAEOPNOTSUPP; }

SocketError UdpSocket::sendTo(const Ipv4& address, std::uint16_t port,
                              std::span<const std::uint8_t> datagram) {
    if (datagram.size() > 0x7FFFFFFF) return WSAEMSGSIZE;
    const sockaddr_in remote = socketAddress(address, port);
    const int sent = ::sendto(native(handle_), reinterpret_cast<const char*>(datagram.data()),
                              static_cast<int>(datagram.size()), 0,
                              reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    if (sent == SOCKET_ERROR) return lastError();
    return static_cast<std::size_t>(sent) == datagram.size() ? 0 : WSAEMSGSIZE;
}

ReceivedDatagram UdpSocket::receiveFrom(std::span<std::uint8_t> buffer) {
    ReceivedDatagram result;
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int room = static_cast<int>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF));
    // A datagram longer than the room is consumed and reported as WSAEMSGSIZE.
    const int received = ::recvfrom(native(handle_), reinterpret_cast<char*>(buffer.data()), room,
                                    0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received == SOCKET_ERROR) {
        result.error = lastError();
        return result;
    }
    std::memcpy(result.senderAddress.bytes.data(), &sender.sin_addr.s_addr, 4);
    result.senderPort = ntohs(sender.sin_port);
    result.length = static_cast<std::size_t>(received);
    return result;
}

WaitResult waitReadableSet(std::span<UdpSocket* const> sockets, std::chrono::milliseconds timeout,
                           std::span<std::uint8_t> readable) {
    const std::size_t count = std::min({sockets.size(), readable.size(), maxWaitSockets});
    std::fill(readable.begin(), readable.end(), std::uint8_t{0});
    fd_set watched;
    FD_ZERO(&watched);
    for (std::size_t i = 0; i < count; ++i) {
        if (sockets[i] != nullptr && sockets[i]->isOpen()) {
            FD_SET(native(sockets[i]->nativeHandle()), &watched);
        }
    }
    // select with an empty set fails at once on Windows; a wait on nothing
    // is a plain sleep.
    if (watched.fd_count == 0) {
        ::Sleep(static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, 24LL * 3600 * 1000)));
        return WaitResult::timedOut;
    }
    const auto total = std::clamp<long long>(timeout.count(), 0, 24LL * 3600 * 1000);
    timeval limit{};
    limit.tv_sec = static_cast<long>(total / 1000);
    limit.tv_usec = static_cast<long>((total % 1000) * 1000);
    const int ready = ::select(0, &watched, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) return WaitResult::failed;
    if (ready == 0) return WaitResult::timedOut;
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (sockets[i] != nullptr && sockets[i]->isOpen() &&
            FD_ISSET(native(sockets[i]->nativeHandle()), &watched)) {
            readable[i] = 1;
            any = true;
        }
    }
    return any ? WaitResult::ready : WaitResult::failed;
}

}  // namespace tamro
