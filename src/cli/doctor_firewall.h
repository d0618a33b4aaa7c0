#pragma once

#include <string_view>
#include <vector>

#include "doctor_finding.h"
#include "platform/host_checks.h"

namespace tamro::cli {

// The rules in a firewall listing that would drop the devices' UDP replies,
// each with the command that removes it; a note when none does, a problem
// when the listing could not be read.
std::vector<Finding> firewallFindings(const FirewallListing& listing);

// The readers behind it, one for each tool's listing.
// `ruleset`: the output of nft -a list ruleset (handles optional).
std::vector<Finding> nftablesFindings(std::string_view ruleset);
// `rules`: the output of iptables-save.
std::vector<Finding> iptablesFindings(std::string_view rules);

}  // namespace tamro::cli
