#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/route_table.h"

namespace tamro {

// What the host's own settings say about receiving the devices' replies.
// Reading them sends nothing.

// The reverse-path filter in force on an interface: the stricter of the
// host-wide and the interface's setting (0 off, 1 strict, 2 loose).
// Nothing where the system has no such filter or will not say.
std::optional<std::int32_t> reversePathFilter(std::string_view interfaceName);

// The two settings the filter in force comes from, each nothing when it
// could not be read: the host-wide one and the interface's own.
struct ReversePathSettings {
    std::optional<std::int32_t> all;
    std::optional<std::int32_t> own;
};
ReversePathSettings reversePathSettings(std::string_view interfaceName);

// The host's IPv4 routes, read without sending anything; nothing where
// the system will not say.
std::optional<std::vector<RouteEntry>> ipv4Routes();

// A firewall's rules as its own listing tool prints them: nft's JSON,
// iptables-save's text.
struct FirewallListing {
    std::string tool;     // "nftables", "iptables"
    std::string command;  // what was run
    std::optional<std::string> text;  // nothing when it could not be run
};

// Every firewall listing this host offers; a tool that is not installed is
// left out.
std::vector<FirewallListing> firewallListings();

// Whether the echo probe could open its socket: an unprivileged ICMP
// datagram socket, else a raw one.
struct EchoSocketCheck {
    bool datagram = false;
    bool raw = false;
    std::string groupRange;  // the unprivileged range, "" when not known
    std::string fix;         // the command that lets the datagram socket open
};
EchoSocketCheck checkEchoSocket();

// The checks this platform cannot make, in words.
std::vector<std::string> hostChecksNotMade();

}  // namespace tamro
