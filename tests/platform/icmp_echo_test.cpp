#include "platform/icmp_echo.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostnet/echo_probe.h"
#include "lab_guard.h"

namespace tamro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Addresses the lab script gives out. The peer answers echoes itself; on the
// responder's link each address stands for one way of answering wrongly.
constexpr Ipv4 peerAddress = Ipv4::fromOctets(10, 77, 0, 2);
constexpr Ipv4 freeAddress = Ipv4::fromOctets(10, 77, 0, 99);
constexpr Ipv4 answeredFromElsewhere = Ipv4::fromOctets(10, 78, 0, 2);
constexpr Ipv4 elsewhere = Ipv4::fromOctets(10, 78, 0, 3);
constexpr Ipv4 answeredWithOtherPayload = Ipv4::fromOctets(10, 78, 0, 4);
constexpr Ipv4 answeredWithOtherSequence = Ipv4::fromOctets(10, 78, 0, 5);
constexpr Ipv4 answeredAfterStrayReplies = Ipv4::fromOctets(10, 78, 0, 6);
constexpr Ipv4 answeredProperly = Ipv4::fromOctets(10, 78, 0, 7);

const std::array<std::uint8_t, 5> payload{'p', 'r', 'o', 'b', 'e'};

enum class Fault { none, fromElsewhere, otherPayload, otherSequence };

std::vector<Fault> repliesFor(const Ipv4& target) {
    if (target == answeredFromElsewhere) return {Fault::fromElsewhere};
    if (target == answeredWithOtherPayload) return {Fault::otherPayload};
    if (target == answeredWithOtherSequence) return {Fault::otherSequence};
    if (target == answeredAfterStrayReplies) {
        return {Fault::fromElsewhere, Fault::otherPayload, Fault::otherSequence, Fault::none};
    }
    if (target == answeredProperly) return {Fault::none};
    return {};
}

std::uint16_t checksumOf(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        sum += (std::uint32_t{bytes[i]} << 8) | (i + 1 < bytes.size() ? bytes[i + 1] : 0u);
    }
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

// Sends crafted echo replies from the responder's namespace, whose own
// answering the lab script turned off.
class EchoResponder {
public:
    EchoResponder() {
        std::promise<bool> started;
        auto ready = started.get_future();
        thread_ = std::thread([this, promise = std::move(started)]() mutable { run(promise); });
        started_ = ready.get();
    }
    ~EchoResponder() {
        stop_ = true;
        thread_.join();
    }
    EchoResponder(const EchoResponder&) = delete;
    EchoResponder& operator=(const EchoResponder&) = delete;

    bool started() const { return started_; }
    std::vector<std::uint8_t> lastPayload() {
        const std::lock_guard lock(mutex_);
        return lastPayload_;
    }

private:
    void run(std::promise<bool>& started) {
        // Only this thread enters the responder's namespace.
        const int space = ::open(lab::responderNamespacePath().c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = space >= 0 && ::setns(space, CLONE_NEWNET) == 0;
        if (space >= 0) ::close(space);
        const int listener = entered ? ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) : -1;
        const int sender = entered ? ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW) : -1;
        started.set_value(listener >= 0 && sender >= 0);
        std::array<std::uint8_t, 2048> packet{};
        while (listener >= 0 && sender >= 0 && !stop_) {  // stop_ is set by the destructor
            pollfd polled{listener, POLLIN, 0};
            if (::poll(&polled, 1, 20) <= 0) continue;
            const ssize_t length = ::recv(listener, packet.data(), packet.size(), 0);
            const std::size_t header = std::size_t{packet[0] & 0x0Fu} * 4;
            if (length < 0 || static_cast<std::size_t>(length) < header + 8 || packet[header] != 8) {
                continue;
            }
            const std::vector<std::uint8_t> request(packet.begin() + static_cast<long>(header),
                                                    packet.begin() + length);
            {
                const std::lock_guard lock(mutex_);
                lastPayload_.assign(request.begin() + 8, request.end());
            }
            Ipv4 source;
            Ipv4 target;
            std::memcpy(source.bytes.data(), &packet[12], 4);
            std::memcpy(target.bytes.data(), &packet[16], 4);
            for (const Fault fault : repliesFor(target)) reply(sender, request, target, source, fault);
        }
        if (listener >= 0) ::close(listener);
        if (sender >= 0) ::close(sender);
    }

    static void reply(int sender, std::vector<std::uint8_t> icmp, const Ipv4& target,
                      const Ipv4& to, Fault fault) {
        icmp[0] = 0;  // echo reply
        if (fault == Fault::otherPayload) icmp.back() ^= 0xFF;
        if (fault == Fault::otherSequence) ++icmp[7];
        icmp[2] = icmp[3] = 0;
        const std::uint16_t checksum = checksumOf(icmp);
        icmp[2] = static_cast<std::uint8_t>(checksum >> 8);
        icmp[3] = static_cast<std::uint8_t>(checksum);
        // IP header: the system fills in length, identification and checksum.
        std::vector<std::uint8_t> datagram{0x45, 0, 0, 0, 0, 0, 0, 0, 64, IPPROTO_ICMP, 0, 0};
        const Ipv4& from = fault == Fault::fromElsewhere ? elsewhere : target;
        datagram.insert(datagram.end(), from.bytes.begin(), from.bytes.end());
        datagram.insert(datagram.end(), to.bytes.begin(), to.bytes.end());
        datagram.insert(datagram.end(), icmp.begin(), icmp.end());
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        std::memcpy(&destination.sin_addr.s_addr, to.bytes.data(), 4);
        ::sendto(sender, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
    std::mutex mutex_;
    std::vector<std::uint8_t> lastPayload_;
};

bool datagramEchoSocketsAllowed() {
    const int handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (handle >= 0) ::close(handle);
    return handle >= 0;
}

struct TimedAnswer {
    std::int32_t answer;
    Clock::duration took;
};

TimedAnswer echo(const Ipv4& target, std::chrono::milliseconds timeout = 1000ms) {
    const auto start = Clock::now();
    const std::int32_t answer = sendIcmpEcho(target, payload, timeout);
    return {answer, Clock::now() - start};
}

class IcmpEchoLab : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (lab::insideLab()) responder_ = new EchoResponder;
    }
    static void TearDownTestSuite() {
        delete responder_;
        responder_ = nullptr;
    }
    void SetUp() override {
        // Checked before anything is sent.
        ASSERT_TRUE(lab::insideLab()) << "run through host_network_lab.sh";
        ASSERT_TRUE(responder_ != nullptr && responder_->started());
        // So that these take the unprivileged path; the raw one has its own test.
        ASSERT_TRUE(datagramEchoSocketsAllowed());
    }

    static inline EchoResponder* responder_ = nullptr;
};

TEST_F(IcmpEchoLab, AnswerCountsAsSoonAsItArrives) {
    const auto result = echo(peerAddress);
    EXPECT_EQ(result.answer, 1);
    EXPECT_LT(result.took, 500ms);
    EXPECT_EQ(echo(answeredProperly).answer, 1);
}

TEST_F(IcmpEchoLab, SilenceGivesNoAnswerAfterTheTimeOut) {
    const auto result = echo(freeAddress);
    EXPECT_EQ(result.answer, 0);
    EXPECT_GE(result.took, 990ms);
    EXPECT_LT(result.took, 1300ms);
    const auto shorter = echo(freeAddress, 200ms);
    EXPECT_EQ(shorter.answer, 0);
    EXPECT_LT(shorter.took, 500ms);
}

TEST_F(IcmpEchoLab, OnlyTheTargetsReplyToThisVeryEchoCounts) {
    EXPECT_EQ(echo(answeredFromElsewhere).answer, 0) << "reply from another address";
    EXPECT_EQ(echo(answeredWithOtherPayload).answer, 0) << "reply with another payload";
    EXPECT_EQ(echo(answeredWithOtherSequence).answer, 0) << "reply to another echo";
    const auto result = echo(answeredAfterStrayReplies);
    EXPECT_EQ(result.answer, 1) << "the right reply after the wrong ones";
    EXPECT_LT(result.took, 500ms);
}

TEST_F(IcmpEchoLab, ProbeSendsTheFixedPayload) {
    EXPECT_EQ(sendEchoProbe(answeredProperly), 1);
    const std::string expected = "ICMP SEND DATA";
    EXPECT_EQ(responder_->lastPayload(), std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST_F(IcmpEchoLab, RawSocketServesWhenDatagramEchoSocketsAreRefused) {
    constexpr const char* range = "/proc/sys/net/ipv4/ping_group_range";
    std::string first;
    std::string last;
    std::ifstream(range) >> first >> last;
    std::ofstream(range) << "1 0";  // no group may open one
    const bool refused = !datagramEchoSocketsAllowed();
    const auto peer = echo(peerAddress);
    const auto stray = echo(answeredAfterStrayReplies);
    const auto otherSequence = echo(answeredWithOtherSequence);
    std::ofstream(range) << first << ' ' << last;

    ASSERT_TRUE(refused);
    EXPECT_EQ(peer.answer, 1);
    EXPECT_EQ(stray.answer, 1);
    EXPECT_EQ(otherSequence.answer, 0);
}

}  // namespace
}  // namespace tamro
