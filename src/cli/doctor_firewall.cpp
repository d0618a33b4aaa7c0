#include "doctor_firewall.h"

#include <sstream>
#include <string>

#include "protocol/exchange.h"

namespace tamro::cli {

namespace {

const std::string port = std::to_string(devicePort);

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> result;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool mentions(const std::string& text, std::string_view word) {
    return text.find(word) != std::string::npos;
}

std::string policyWhy() {
    return "the devices' replies come from UDP port " + port + "; the policy drops them";
}

std::string ruleWhy() {
    return "it drops the UDP replies the devices send from port " + port +
           ", so the search finds nothing";
}

// Whether an nftables rule drops what it matches, and catches UDP on the
// devices' port: by naming the port, or by matching all UDP or everything.
bool dropsDevicePackets(const std::string& rule) {
    const bool drops = mentions(rule, " drop") || rule.starts_with("drop") ||
                       mentions(rule, " reject") || rule.starts_with("reject");
    if (!drops) return false;
    if (mentions(rule, port)) return true;
    const bool narrows = mentions(rule, "dport") || mentions(rule, "sport") ||
                         mentions(rule, "saddr") || mentions(rule, "daddr") ||
                         mentions(rule, "iif") || mentions(rule, "ct state") ||
                         mentions(rule, "tcp") || mentions(rule, "icmp");
    return !narrows;
}

}  // namespace

std::vector<Finding> nftablesFindings(std::string_view ruleset) {
    std::vector<Finding> findings;
    std::string family, table, chain;
    bool inputHook = false;
    bool accepts = false;
    std::string policyDrop;
    const auto closeChain = [&] {
        if (!policyDrop.empty() && !accepts) {
            findings.push_back(
                {true, "nftables chain " + family + " " + table + " " + chain +
                           " drops incoming packets by policy and accepts none from port " + port,
                 policyWhy(),
                 "nft insert rule " + family + " " + table + " " + chain + " udp sport " + port +
                     " accept"});
        }
        policyDrop.clear();
        accepts = false;
        inputHook = false;
    };
    for (const std::string& raw : lines(ruleset)) {
        const std::string line = trimmed(raw);
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "table") {
            words >> family >> table;
            if (table.empty() || table == "{") {  // "table NAME {" has the family ip
                table = family;
                family = "ip";
            }
        } else if (first == "chain") {
            closeChain();
            words >> chain;
        } else if (line.starts_with("type filter hook input")) {
            inputHook = true;
            if (mentions(line, "policy drop")) policyDrop = line;
        } else if (line == "}") {
            if (!chain.empty()) closeChain();
            chain.clear();
        } else if (inputHook && !line.empty()) {
            const std::size_t handleAt = line.find("# handle ");
            const std::string rule = trimmed(line.substr(0, handleAt));
            if (mentions(rule, "accept") && mentions(rule, port)) accepts = true;
            if (!dropsDevicePackets(rule)) continue;
            const std::string handle =
                handleAt == std::string::npos ? "" : trimmed(line.substr(handleAt + 9));
            findings.push_back(
                {true, "nftables rule in " + family + " " + table + " " + chain + ": " + rule,
                 ruleWhy(),
                 handle.empty() ? "nft -a list chain " + family + " " + table + " " + chain +
                                      ", then nft delete rule " + family + " " + table + " " +
                                      chain + " handle N"
                                : "nft delete rule " + family + " " + table + " " + chain +
                                      " handle " + handle});
        }
    }
    return findings;
}

std::vector<Finding> iptablesFindings(std::string_view rules) {
    std::vector<Finding> findings;
    bool policyDrop = false;
    bool accepts = false;
    for (const std::string& line : lines(rules)) {
        if (line.starts_with(":INPUT DROP")) policyDrop = true;
        if (!line.starts_with("-A INPUT ")) continue;
        const bool drops = mentions(line, "-j DROP") || mentions(line, "-j REJECT");
        const bool namesPort = mentions(line, port);
        if (namesPort && mentions(line, "-j ACCEPT")) accepts = true;
        const bool narrows = mentions(line, "--dport") || mentions(line, "--sport") ||
                             mentions(line, " -s ") || mentions(line, " -d ") ||
                             mentions(line, " -i ") || mentions(line, "--state") ||
                             mentions(line, "-p tcp") || mentions(line, "-p icmp");
        if (!drops || (!namesPort && narrows)) continue;
        std::string remove = line;
        remove.replace(0, 2, "-D");
        findings.push_back({true, "iptables rule: " + line, ruleWhy(), "iptables " + remove});
    }
    if (policyDrop && !accepts) {
        findings.push_back(
            {true, "iptables INPUT drops by policy and accepts nothing from port " + port,
             policyWhy(), "iptables -I INPUT -p udp --sport " + port + " -j ACCEPT"});
    }
    return findings;
}

std::vector<Finding> firewallFindings(const FirewallListing& listing) {
    if (!listing.text) {
        return {{true, listing.tool + " is installed but its rules could not be read (" +
                           listing.command + ")",
                 "a rule there may drop the devices' replies",
                 "run tamroctl doctor as root to read them"}};
    }
    std::vector<Finding> findings = listing.tool == "nftables" ? nftablesFindings(*listing.text)
                                                               : iptablesFindings(*listing.text);
    if (findings.empty()) {
        findings.push_back({false, listing.tool + ": no rule drops UDP port " + port, "", ""});
    }
    return findings;
}

}  // namespace tamro::cli
