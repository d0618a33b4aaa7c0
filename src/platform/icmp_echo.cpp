#include "platform/icmp_echo.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

namespace tamro {

namespace {

constexpr std::uint8_t echoReplyType = 0;
constexpr std::uint8_t echoRequestType = 8;
constexpr std::size_t icmpHeaderLength = 8;
constexpr std::size_t maximumIpHeaderLength = 60;
constexpr std::size_t maximumPayloadLength = 65535 - 20 - icmpHeaderLength;

class EchoSocket {
public:
    // A datagram ICMP socket needs no privilege but may be refused by the
    // system's ping group setting; a raw socket then serves when we are root.
    EchoSocket() {
        handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (handle_ < 0) {
            handle_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            raw_ = true;
        }
    }
    ~EchoSocket() {
        if (handle_ >= 0) ::close(handle_);
    }
    EchoSocket(const EchoSocket&) = delete;
    EchoSocket& operator=(const EchoSocket&) = delete;

    bool isOpen() const { return handle_ >= 0; }
    // A raw socket hands over the IP header too, sees every ICMP message the
    // host receives, and leaves the identifier to us.
    bool isRaw() const { return raw_; }
    int handle() const { return handle_; }

private:
    int handle_ = -1;
    bool raw_ = false;
};

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t low = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        sum += (std::uint32_t{bytes[i]} << 8) | low;
    }
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

// Each echo gets its own sequence number, so that a late reply to an earlier
// probe is never taken for the answer to this one.
std::uint16_t nextSequence() {
    static std::atomic<std::uint32_t> counter{std::random_device{}()};
    return static_cast<std::uint16_t>(counter.fetch_add(1, std::memory_order_relaxed));
}

std::uint16_t processIdentifier() {
    static const auto identifier = static_cast<std::uint16_t>(std::random_device{}());
    return identifier;
}

std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> message(icmpHeaderLength + payload.size());
    message[0] = echoRequestType;
    message[4] = static_cast<std::uint8_t>(identifier >> 8);
    message[5] = static_cast<std::uint8_t>(identifier);
    message[6] = static_cast<std::uint8_t>(sequence >> 8);
    message[7] = static_cast<std::uint8_t>(sequence);
    std::copy(payload.begin(), payload.end(), message.begin() + icmpHeaderLength);
    const std::uint16_t checksum = internetChecksum(message);
    message[2] = static_cast<std::uint8_t>(checksum >> 8);
    message[3] = static_cast<std::uint8_t>(checksum);
    return message;
}

struct EchoExpectation {
    bool raw = false;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::span<const std::uint8_t> payload;
};

// `received` is what one receive gave: with the IP header on a raw socket,
// the bare ICMP message on a datagram socket.
bool isAnswer(std::span<const std::uint8_t> received, const EchoExpectation& expected) {
    if (expected.raw) {
        if (received.size() < 20) return false;
        const std::size_t headerLength = std::size_t{received[0] & 0x0Fu} * 4;
        if (headerLength < 20 || headerLength > received.size()) return false;
        received = received.subspan(headerLength);
    }
    if (received.size() != icmpHeaderLength + expected.payload.size()) return false;
    if (received[0] != echoReplyType || received[1] != 0) return false;
    const auto field = [&](std::size_t at) {
        return static_cast<std::uint16_t>((received[at] << 8) | received[at + 1]);
    };
    // On a datagram socket the system picks the identifier and delivers only
    // replies that carry it.
    if (expected.raw && (field(4) != expected.identifier || internetChecksum(received) != 0)) {
        return false;
    }
    if (field(6) != expected.sequence) return false;
    return std::equal(expected.payload.begin(), expected.payload.end(),
                      received.begin() + icmpHeaderLength);
}

}  // namespace

std::int32_t sendIcmpEcho(const Ipv4& target, std::span<const std::uint8_t> payload,
                          std::chrono::milliseconds timeout, const std::optional<Ipv4>& source) {
    using Clock = std::chrono::steady_clock;
    if (timeout.count() <= 0 || payload.size() > maximumPayloadLength) return 0;
    const EchoSocket socket;
    if (!socket.isOpen()) return 0;
    if (source) {
        // Bound to an adapter's address, the echo leaves from that adapter.
        sockaddr_in local{};
        local.sin_family = AF_INET;
        std::memcpy(&local.sin_addr.s_addr, source->bytes.data(), 4);
        if (::bind(socket.handle(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            return 0;
        }
    }

    const EchoExpectation expected{socket.isRaw(), processIdentifier(), nextSequence(), payload};
    const auto request = echoRequest(expected.identifier, expected.sequence, payload);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    std::memcpy(&remote.sin_addr.s_addr, target.bytes.data(), 4);
    const auto deadline = Clock::now() + timeout;
    if (::sendto(socket.handle(), request.data(), request.size(), 0,
                 reinterpret_cast<const sockaddr*>(&remote), sizeof remote) !=
        static_cast<ssize_t>(request.size())) {
        return 0;
    }

    // Room for one byte more than an answer can have, so that longer
    // messages show as such.
    std::vector<std::uint8_t> buffer(maximumIpHeaderLength + request.size() + 1);
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) return 0;
        pollfd polled{socket.handle(), POLLIN, 0};
        const int ready =
            ::poll(&polled, 1, static_cast<int>(std::min<std::int64_t>(remaining.count(), INT_MAX)));
        if (ready < 0 && errno != EINTR) return 0;
        if (ready <= 0) continue;

        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t received =
            ::recvfrom(socket.handle(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&sender), &senderLength);
        // A failed receive is an error report (say, an unreachable host) or a
        // message already gone; neither is the answer, so wait on.
        if (received < 0) continue;
        Ipv4 from;
        std::memcpy(from.bytes.data(), &sender.sin_addr.s_addr, 4);
        if (from != target) continue;
        if (isAnswer(std::span(buffer.data(), static_cast<std::size_t>(received)), expected)) {
            return 1;
        }
    }
}

}  // namespace tamro
