#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"

namespace tamro {

// One route of the host's IPv4 table: where it leads and out of which
// interface. Routes that only refuse (unreachable, prohibit) are not routes back.
struct RouteEntry {
    std::string interfaceName;
    Ipv4 destination;
    Ipv4 mask;
};

// The routes of a Linux route table listing (/proc/net/route's text): the
// ones that are up and do not refuse. Lines it cannot read are left out.
std::vector<RouteEntry> parseRouteTable(std::string_view text);

}  // namespace tamro
