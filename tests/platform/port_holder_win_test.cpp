#include "platform/port_holder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/udp_socket.h"

namespace tamro {
namespace {

constexpr Ipv4 loopback = Ipv4::fromOctets(127, 0, 0, 1);

TEST(PortHolderWindows, NamesOurOwnSocketOnItsPort) {
    UdpSocket socket;
    std::uint16_t port = 0;
    for (std::uint16_t candidate = 47000; candidate < 47200 && port == 0; ++candidate) {
        ASSERT_EQ(socket.open(), 0);
        if (socket.bind(loopback, candidate) == 0) port = candidate;
    }
    ASSERT_NE(port, 0);

    const auto holders = udpPortHolders(port);
    const auto ours = std::find_if(holders.begin(), holders.end(), [](const PortHolder& holder) {
        return holder.address == loopback;
    });
    ASSERT_NE(ours, holders.end());
    // Wine does not always say who owns a socket; when it does, it is us.
    if (ours->processId >= 0) {
        EXPECT_EQ(ours->processId, static_cast<std::int64_t>(::GetCurrentProcessId()));
        EXPECT_EQ(ours->program, "tamro_unit_tests.exe");
    }
    EXPECT_NE(describePortHolders(holders, port).find("127.0.0.1"), std::string::npos);

    socket.close();
    const auto after = udpPortHolders(port);
    EXPECT_TRUE(std::none_of(after.begin(), after.end(), [](const PortHolder& holder) {
        return holder.address == loopback;
    }));
}

}  // namespace
}  // namespace tamro
