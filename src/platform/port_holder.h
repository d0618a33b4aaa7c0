#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace tamro {

// A local UDP socket that holds a port, as far as the system tells.
struct PortHolder {
    Ipv4 address;             // the local address it is bound to (0.0.0.0: all)
    std::int64_t processId = -1;  // -1 when the system does not say
    std::string program;      // empty when unknown
};

// Every local UDP socket bound to `port`. Empty when none, or when the
// system's tables cannot be read.
std::vector<PortHolder> udpPortHolders(std::uint16_t port);

// "UDP port 30718 is taken on 0.0.0.0 by process 412 (nc)", one line per
// holder; empty when none is known.
std::string describePortHolders(const std::vector<PortHolder>& holders, std::uint16_t port);

}  // namespace tamro
