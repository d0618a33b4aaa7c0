#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/ipv4.h"

namespace tamro {

// Sends one ICMP echo request to `target` and waits up to `timeout` for the
// answer. 1 when an echo reply to this very request (same sequence number and
// payload) came from `target` in time; 0 otherwise, whatever went wrong.
// Other replies that arrive meanwhile are passed over.
// With `source`, the echo is sent from that local address.
std::int32_t sendIcmpEcho(const Ipv4& target, std::span<const std::uint8_t> payload,
                          std::chrono::milliseconds timeout,
                          const std::optional<Ipv4>& source = std::nullopt);

}  // namespace tamro
