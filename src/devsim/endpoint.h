#pragma once

#include <cstdint>
#include <string>

#include "platform/ipv4.h"

namespace tamro::devsim {

struct Endpoint {
    Ipv4 address;
    std::uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// "10.77.0.1:40000".
inline std::string endpointText(const Endpoint& endpoint) {
    return toDottedText(endpoint.address) + ":" + std::to_string(endpoint.port);
}

}  // namespace tamro::devsim
