// Windows has no reverse-path filter setting of this kind, and its firewall
// rules are not read here; the echo probe uses the system's echo service.
#include "platform/host_checks.h"

namespace tamro {

std::optional<std::int32_t> reversePathFilter(std::string_view) { return std::nullopt; }

ReversePathSettings reversePathSettings(std::string_view) { return {}; }

// Nothing reads the routes where there is no reverse-path filter to weigh them against.
std::optional<std::vector<RouteEntry>> ipv4Routes() { return std::nullopt; }

std::vector<FirewallListing> firewallListings() { return {}; }

EchoSocketCheck checkEchoSocket() {
    EchoSocketCheck check;
    // The echo goes through the system's ICMP service, which needs no socket.
    check.datagram = true;
    return check;
}

std::vector<std::string> hostChecksNotMade() {
    return {
        "the Windows Firewall's rules are not read: if the search finds nothing, allow "
        "tamroctl.exe (UDP, inbound) in \"Windows Defender Firewall with Advanced Security\", "
        "or run: netsh advfirewall firewall add rule name=tamro dir=in action=allow "
        "protocol=UDP localport=30718",
        "reverse-path filtering is not a Windows setting: nothing to check",
    };
}

}  // namespace tamro
