#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/ipv4.h"

namespace tamro {

// A socket error code as the system gives it; 0 means success. Callers treat
// any other value as failure and look no further.
using SocketError = std::int32_t;

// The codes the protocol code needs to tell apart.
SocketError timedOutError();
bool isMessageTooLong(SocketError error);
SocketError lastSocketError();

// Starts the system's socket layer; call once at program start, before any
// socket is opened. False when the sockets cannot be used at all.
bool startSocketLayer();

struct ReceivedDatagram {
    SocketError error = 0;   // non-zero: nothing usable was received
    std::size_t length = 0;  // bytes written to the buffer
    Ipv4 senderAddress;
    std::uint16_t senderPort = 0;  // host order
};

// An IPv4 datagram socket, closed when it goes out of scope. The one place
// the protocol code reaches the system's sockets.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    SocketError open();
    bool isOpen() const { return handle_ != invalidHandle; }
    void close();

    // Option results are deliberately not reported; callers carry on either way.
    void enableBroadcast();
    void setReceiveTimeout(std::chrono::milliseconds timeout);
    void setReceiveBufferSize(int bytes);
    void enableAddressReuse();

    SocketError bind(const Ipv4& address, std::uint16_t port);
    // Ties the socket to one interface, so that it hears only what arrives there.
    // Fails where the system has no such notion (Windows, whose sockets bound
    // to an adapter's address hear the broadcasts to their port anyway).
    SocketError bindToInterface(std::string_view interfaceName);

    SocketError sendTo(const Ipv4& address, std::uint16_t port,
                       std::span<const std::uint8_t> datagram);

    // Takes one datagram. A datagram longer than the buffer is consumed and
    // reported as an error, never cut short silently.
    ReceivedDatagram receiveFrom(std::span<std::uint8_t> buffer);

    // Wide enough for a POSIX descriptor and a Windows SOCKET alike.
    using NativeHandle = std::intptr_t;
    static constexpr NativeHandle invalidHandle = -1;
    NativeHandle nativeHandle() const { return handle_; }

private:
    NativeHandle handle_ = invalidHandle;
};

enum class WaitResult { ready, timedOut, failed };

// The most sockets one wait may watch: discovery's own plus the reads in flight.
inline constexpr std::size_t maxWaitSockets = 260;

// Waits until one of the sockets can be read or the time-out passes.
// `readyIndex` names the first readable socket. At most maxWaitSockets.
WaitResult waitReadable(std::span<UdpSocket* const> sockets, std::chrono::milliseconds timeout,
                        std::size_t& readyIndex);

// The same wait, marking every readable socket: readable[i] becomes 1 or 0
// (readable.size() must equal sockets.size()). A closed socket (nullptr or
// not open) is never readable and does not end the wait.
WaitResult waitReadableSet(std::span<UdpSocket* const> sockets, std::chrono::milliseconds timeout,
                           std::span<std::uint8_t> readable);

}  // namespace tamro
