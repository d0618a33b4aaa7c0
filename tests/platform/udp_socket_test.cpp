#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

namespace tamro {
namespace {

using namespace std::chrono_literals;

// Loopback only: nothing here leaves the machine.
constexpr Ipv4 loopback = Ipv4::fromOctets(127, 0, 0, 1);

struct BoundSocket {
    UdpSocket socket;
    std::uint16_t port = 0;
};

// A socket on a free loopback port; other test runs may hold some ports.
BoundSocket boundSocket() {
    static std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> ports(40000, 60000);
    BoundSocket result;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (result.socket.open() != 0) break;
        const auto port = static_cast<std::uint16_t>(ports(random));
        if (result.socket.bind(loopback, port) == 0) {
            result.port = port;
            return result;
        }
    }
    ADD_FAILURE() << "no free loopback port";
    return result;
}

void sendBytes(std::uint16_t port, std::size_t length, std::uint8_t fill = 0x5A) {
    UdpSocket sender;
    ASSERT_EQ(sender.open(), 0);
    const std::vector<std::uint8_t> bytes(length, fill);
    ASSERT_EQ(sender.sendTo(loopback, port, bytes), 0);
}

TEST(UdpSocket, ADatagramLongerThanTheBufferFailsAsTooLongAndTheNextOneArrivesWhole) {
    BoundSocket receiver = boundSocket();
    receiver.socket.setReceiveTimeout(2s);
    sendBytes(receiver.port, 31);
    sendBytes(receiver.port, 30, 0x11);

    std::array<std::uint8_t, 30> buffer{};
    const ReceivedDatagram tooLong = receiver.socket.receiveFrom(buffer);
    EXPECT_NE(tooLong.error, 0);
    EXPECT_TRUE(isMessageTooLong(tooLong.error)) << tooLong.error;

    const ReceivedDatagram fitting = receiver.socket.receiveFrom(buffer);
    ASSERT_EQ(fitting.error, 0);
    EXPECT_EQ(fitting.length, 30u);
    EXPECT_EQ(buffer[29], 0x11);
    EXPECT_EQ(fitting.senderAddress, loopback);
    EXPECT_NE(fitting.senderPort, 0);
}

TEST(UdpSocket, AnEmptyDatagramIsReceivedAsZeroBytes) {
    BoundSocket receiver = boundSocket();
    receiver.socket.setReceiveTimeout(2s);
    sendBytes(receiver.port, 0);
    std::array<std::uint8_t, 8> buffer{};
    const ReceivedDatagram empty = receiver.socket.receiveFrom(buffer);
    EXPECT_EQ(empty.error, 0);
    EXPECT_EQ(empty.length, 0u);
}

TEST(UdpSocket, ASilentReceiveEndsWithTheTimedOutCode) {
    BoundSocket receiver = boundSocket();
    receiver.socket.setReceiveTimeout(150ms);
    std::array<std::uint8_t, 8> buffer{};
    const auto start = std::chrono::steady_clock::now();
    const ReceivedDatagram silent = receiver.socket.receiveFrom(buffer);
    EXPECT_EQ(silent.error, timedOutError());
    // The time-out was taken as milliseconds, not as seconds or microseconds.
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 10s);
}

TEST(UdpSocket, ABoundPortCannotBeBoundTwice) {
    BoundSocket first = boundSocket();
    UdpSocket second;
    ASSERT_EQ(second.open(), 0);
    EXPECT_NE(second.bind(loopback, first.port), 0);
    EXPECT_NE(lastSocketError(), 0);
}

TEST(WaitReadable, MarksExactlyTheReadableSocketsOfAFullSet) {
    std::vector<BoundSocket> sockets;
    for (std::size_t i = 0; i + 1 < maxWaitSockets; ++i) sockets.push_back(boundSocket());
    std::vector<UdpSocket*> watched;
    for (auto& bound : sockets) watched.push_back(&bound.socket);
    watched.insert(watched.begin() + 5, nullptr);  // a closed slot is never readable
    ASSERT_EQ(watched.size(), maxWaitSockets);

    sendBytes(sockets.front().port, 4);
    sendBytes(sockets[70].port, 4);
    sendBytes(sockets.back().port, 4);

    std::vector<std::uint8_t> readable(watched.size(), 7);
    // Datagrams on loopback may take a moment; wait until all three show.
    std::size_t marked = 0;
    for (int round = 0; round < 50 && marked < 3; ++round) {
        ASSERT_EQ(waitReadableSet(watched, 2s, readable), WaitResult::ready);
        marked = 0;
        for (auto flag : readable) marked += flag;
    }
    std::vector<std::size_t> marks;
    for (std::size_t i = 0; i < readable.size(); ++i) {
        if (readable[i]) marks.push_back(i);
    }
    EXPECT_EQ(marks, (std::vector<std::size_t>{0, 71, maxWaitSockets - 1}));

    std::size_t first = 99;
    EXPECT_EQ(waitReadable(watched, 2s, first), WaitResult::ready);
    EXPECT_EQ(first, 0u);
}

TEST(WaitReadable, TimesOutOnSilentSockets) {
    BoundSocket a = boundSocket();
    BoundSocket b = boundSocket();
    UdpSocket* const watched[] = {&a.socket, &b.socket};
    std::size_t ready = 99;
    EXPECT_EQ(waitReadable(watched, 50ms, ready), WaitResult::timedOut);
    EXPECT_EQ(ready, 99u);
}

}  // namespace
}  // namespace tamro
