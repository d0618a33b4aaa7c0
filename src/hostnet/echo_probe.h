#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "platform/ipv4.h"

namespace tamro {

// The echo's payload: the 14 bytes of "ICMP SEND DATA", no terminator.
inline constexpr std::array<std::uint8_t, 14> echoProbePayload{
    'I', 'C', 'M', 'P', ' ', 'S', 'E', 'N', 'D', ' ', 'D', 'A', 'T', 'A'};
inline constexpr std::chrono::milliseconds echoProbeTimeout{1000};

// Whether `target` answers before an address is given out: one echo, 1 when
// the target itself answered it within a second, else 0.
std::int32_t sendEchoProbe(const Ipv4& target);

}  // namespace tamro
