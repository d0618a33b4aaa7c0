#include <algorithm>
#include <array>

#include "platform/udp_socket.h"

namespace tamro {

WaitResult waitReadable(std::span<UdpSocket* const> sockets, std::chrono::milliseconds timeout,
                        std::size_t& readyIndex) {
    std::array<std::uint8_t, maxWaitSockets> readable{};
    const std::size_t count = std::min(sockets.size(), readable.size());
    const WaitResult result =
        waitReadableSet(sockets.first(count), timeout, std::span(readable).first(count));
    if (result != WaitResult::ready) return result;
    for (std::size_t i = 0; i < count; ++i) {
        if (readable[i]) {
            readyIndex = i;
            return WaitResult::ready;
        }
    }
    return WaitResult::failed;
}

}  // namespace tamro
