#pragma once

#include <set>
#include <string>
#include <vector>

#include "doctor_finding.h"
#include "firewall_rules.h"
#include "platform/host_checks.h"
#include "platform/ipv4.h"

namespace tamro::cli {

// The adapter whose replies the firewall is checked for.
struct FirewallAdapter {
    std::string interfaceName;
    Ipv4 address;
    Ipv4 mask;
};

// One kind of packet the search or the echo probe waits for.
struct FirewallProbe {
    std::string what;  // "discovery replies from devices on 10.77.0.0/24"
    bool echo = false;
    firewall::Packet packet;
};

// The packets that must reach the host through `adapter`: the devices'
// discovery and read replies from on and off its subnet, and echo replies.
std::vector<FirewallProbe> firewallProbes(const FirewallAdapter& adapter);

// Every rule or policy of `rules` that drops one of `probes`, with the
// command that lets exactly those packets through; [unsure] where it depends
// on what is not evaluated; [ok] when none does. Tables of family ip named in
// `skipIpTables` are left out (read from another listing).
std::vector<Finding> rulesetFindings(const std::string& tool, const firewall::RuleSet& rules,
                                     const FirewallAdapter& adapter,
                                     const std::vector<FirewallProbe>& probes,
                                     const std::set<std::string>& skipIpTables = {});

// The same for the host's listings (nft -j list ruleset, iptables-save); a
// problem for a listing that could not be read.
std::vector<Finding> firewallFindings(const std::vector<FirewallListing>& listings,
                                      const FirewallAdapter& adapter);

}  // namespace tamro::cli
