#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <vector>

#include "doctor_firewall.h"
#include "doctor_test_support.h"

namespace tamro::cli {

std::string_view savedRuleSet(std::string_view name);

namespace {

using namespace firewall;

const FirewallAdapter adapter{"veth0", Ipv4::fromOctets(10, 77, 0, 1), Ipv4::fromOctets(255, 255, 255, 0)};

std::vector<Finding> nft(std::string_view name) {
    const std::string_view text = savedRuleSet(std::string(name) + ".json");
    EXPECT_FALSE(text.empty()) << name;
    return firewallFindings({{"nftables", "nft -j list ruleset", std::string(text)}}, adapter);
}

std::vector<Finding> iptables(const std::string& text) {
    return firewallFindings({{"iptables", "iptables-save", text}}, adapter);
}

std::vector<Finding> unsureIn(const std::vector<Finding>& findings) {
    std::vector<Finding> unsure;
    for (const Finding& finding : findings) {
        if (finding.standing == Standing::unsure && !finding.problem) unsure.push_back(finding);
    }
    return unsure;
}

bool has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

TEST(DoctorFirewall, NftablesRulesThatDropTheRepliesWhateverTheirShape) {
    // A port range, limited to the adapter's interface.
    auto found = problemsIn(nft("nft_sport_range"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what,
              "nftables rule in inet filter input (handle 3): iifname \"veth0\" udp sport 30000-31000 drop");
    EXPECT_EQ(found[0].fix, "nft delete rule inet filter input handle 3");
    EXPECT_TRUE(has(found[0].why, "discovery replies from devices on 10.77.0.0/24"));
    EXPECT_TRUE(has(found[0].why, "the search misses those devices"));

    // A source subnet wider than the adapter's: every device on it, and part
    // of those outside; echo replies from half the subnet.
    found = problemsIn(nft("nft_source_subnet"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].what, "nftables rule in ip guard input (handle 2): ip saddr 10.77.0.0/16 meta l4proto udp drop");
    EXPECT_TRUE(has(found[0].why, "it drops discovery replies from devices on 10.77.0.0/24"));
    EXPECT_TRUE(has(found[0].why, "some of the discovery replies from devices outside 10.77.0.0/24"));
    EXPECT_EQ(found[1].fix, "nft delete rule ip guard input handle 3");
    EXPECT_TRUE(has(found[1].why, "some of the ICMP echo replies from 10.77.0.0/24"));
    EXPECT_TRUE(has(found[1].why, "PING then reports an address in use as free"));
    EXPECT_FALSE(has(found[1].why, "search"));

    // A jump from a wildcard interface match to a chain that drops all UDP:
    // the rule named is the one that drops, where it is.
    found = problemsIn(nft("nft_jump_udp"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what, "nftables rule in inet filter lan (handle 2): meta l4proto udp drop");
    EXPECT_EQ(found[0].fix, "nft delete rule inet filter lan handle 2");
}

TEST(DoctorFirewall, APolicyDropIsFixedForTheSearchsPacketsOnTheAdapterAlone) {
    // Only TCP is let in besides established connections: the discovery
    // replies are new to conntrack, the reads' replies and echo replies not.
    auto found = problemsIn(nft("nft_policy_tcp_only"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what, "nftables chain inet filter input drops the devices' replies by policy");
    EXPECT_TRUE(has(found[0].why, "discovery replies from devices on 10.77.0.0/24"));
    EXPECT_FALSE(has(found[0].why, "settings reads"));
    EXPECT_EQ(found[0].fix, "nft insert rule inet filter input iifname \"veth0\" udp sport 30718 accept");

    // Echo replies dropped by policy are their own problem, with their own fix.
    found = problemsIn(nft("nft_echo_policy"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what, "nftables chain inet filter input drops echo replies by policy");
    EXPECT_EQ(found[0].fix,
              "nft insert rule inet filter input iifname \"veth0\" icmp type echo-reply accept");
}

TEST(DoctorFirewall, TheHandleComesFromTheListingNeverFromACommentsText) {
    const auto found = problemsIn(nft("nft_comment_handle"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fix, "nft delete rule inet filter input handle 4");
    EXPECT_TRUE(has(found[0].what, "comment \"old rule # handle 99\""));
}

TEST(DoctorFirewall, WhatIsNotEvaluatedIsUnsureAndPartlyDroppedPacketsAreProblems) {
    const auto all = nft("nft_undecided");
    for (const Finding& finding : all) EXPECT_NE(findingTag(finding), "[ok] ") << finding.what;
    const auto found = problemsIn(all);
    ASSERT_EQ(found.size(), 2u);
    // Half the subnet, by a named set.
    EXPECT_TRUE(has(found[0].what, "ip saddr @lab udp dport 30718 drop"));
    EXPECT_TRUE(has(found[0].why, "some of the discovery replies from devices on 10.77.0.0/24"));
    // Some of the ports the reads' replies may come back to.
    EXPECT_TRUE(has(found[1].what, "udp dport 40000-40100 drop"));
    EXPECT_TRUE(has(found[1].why, "some of the replies to the settings reads"));

    const auto unsure = unsureIn(all);
    ASSERT_EQ(unsure.size(), 2u);
    EXPECT_TRUE(has(unsure[0].what, "meta mark 1 udp sport 30718 drop"));
    EXPECT_TRUE(has(unsure[0].why, "depends on \"meta mark 1\""));
    EXPECT_EQ(unsure[0].fix, "");
    // Reached through a verdict map's jump; a rate limit decides.
    EXPECT_TRUE(has(unsure[1].what, "nftables rule in inet filter other"));
    EXPECT_TRUE(has(unsure[1].why, "limit rate 10/second"));
    EXPECT_EQ(findingTag(unsure[1]), "[unsure] ");
}

TEST(DoctorFirewall, IptablesRulesEachDroppingTheRepliesAndTheirExactRemoval) {
    const std::string head = "*filter\n:INPUT ACCEPT [0:0]\n:LAN - [0:0]\n";
    const auto one = [&](const std::string& rules) {
        const auto found = problemsIn(iptables(head + rules + "COMMIT\n"));
        EXPECT_EQ(found.size(), 1u) << rules;
        return found.empty() ? Finding{} : found[0];
    };
    EXPECT_EQ(one("-A INPUT -p udp -m multiport --sports 30700:30800,9 -j DROP\n").fix,
              "iptables -D INPUT -p udp -m multiport --sports 30700:30800,9 -j DROP");
    EXPECT_EQ(one("-A INPUT -s 10.77.0.0/16 -p udp -j DROP\n").what,
              "iptables rule: -A INPUT -s 10.77.0.0/16 -p udp -j DROP");
    EXPECT_EQ(one("-A INPUT -i veth0 -p udp -m udp --sport 30718 -m comment --comment \"old # handle 99\" -j DROP\n").fix,
              "iptables -D INPUT -i veth0 -p udp -m udp --sport 30718 -m comment --comment 'old # handle 99' -j DROP");
    EXPECT_EQ(one("-A INPUT -i veth+ -j LAN\n-A LAN -p udp -j REJECT --reject-with icmp-port-unreachable\n").fix,
              "iptables -D LAN -p udp -j REJECT --reject-with icmp-port-unreachable");
    EXPECT_EQ(one("-A INPUT -g LAN\n-A LAN -p icmp -m icmp --icmp-type 0 -j DROP\n").fix,
              "iptables -D LAN -p icmp -m icmp --icmp-type 0 -j DROP");

    EXPECT_TRUE(has(one("-A INPUT -m addrtype --dst-type BROADCAST --limit-iface-in -j DROP\n").why,
                    "it drops discovery replies sent by broadcast on 10.77.0.0/24 and broadcast "
                    "discovery replies from devices outside 10.77.0.0/24: "));

    // Rules that never see these packets: another protocol, interface, port.
    const auto clean = iptables(head +
                                "-A INPUT -m addrtype --dst-type MULTICAST -j DROP\n"
                                "-A INPUT -m addrtype ! --dst-type LOCAL,BROADCAST -j DROP\n"
                                "-A INPUT -p tcp -m tcp --dport 22 -j DROP\n"
                                "-A INPUT -i eth1 -j DROP\n"
                                "-A INPUT ! -i veth0 -j DROP\n"
                                "-A INPUT -p udp -m udp --sport 53 -j DROP\n"
                                "-A INPUT -s 192.168.0.0/16 -p icmp -j DROP\n"
                                "-A INPUT -i veth0 -j LAN\n-A LAN -j RETURN\n-A LAN -j DROP\n"
                                "COMMIT\n");
    ASSERT_EQ(clean.size(), 1u);
    EXPECT_EQ(findingTag(clean[0]), "[ok] ");
    EXPECT_EQ(clean[0].what, "iptables: no rule drops the devices' replies or echo replies on veth0");
}

TEST(DoctorFirewall, NftablesDestinationTypeAndReversePathLookups) {
    const std::string json = R"({"nftables": [
        {"table": {"family": "ip", "name": "t"}},
        {"chain": {"family": "ip", "table": "t", "name": "in", "type": "filter", "hook": "input",
                   "prio": 0, "policy": "accept"}},
        {"rule": {"family": "ip", "table": "t", "chain": "in", "handle": 5, "expr": [
            {"match": {"op": "==", "left": {"fib": {"result": "type", "flags": ["daddr", "iif"]}},
                       "right": {"set": ["broadcast", "multicast"]}}}, {"drop": null}]}},
        {"rule": {"family": "ip", "table": "t", "chain": "in", "handle": 6, "expr": [
            {"match": {"op": "==", "left": {"fib": {"result": "oif", "flags": ["saddr", "iif"]}},
                       "right": false}}, {"drop": null}]}}]})";
    const auto found = firewallFindings({{"nftables", "nft", json}}, adapter);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].problem);
    EXPECT_EQ(found[0].what, "nftables rule in ip t in (handle 5): fib daddr . iif type { broadcast, multicast } drop");
    EXPECT_TRUE(has(found[0].why, "it drops discovery replies sent by broadcast"));
    EXPECT_FALSE(has(found[0].why, "devices on 10.77.0.0/24,"));
    EXPECT_EQ(findingTag(found[1]), "[unsure] ");
    EXPECT_TRUE(has(found[1].why, "depends on \"fib saddr . iif oif missing\""));
}

TEST(DoctorFirewall, IptablesPoliciesAndTablesBeforeFilter) {
    auto found = problemsIn(iptables("*filter\n:INPUT DROP [0:0]\n"
                                     "-A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT\n"
                                     "COMMIT\n"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what, "iptables chain INPUT drops the devices' replies by policy");
    EXPECT_EQ(found[0].fix, "iptables -I INPUT -i veth0 -p udp --sport 30718 -j ACCEPT");

    found = problemsIn(iptables("*mangle\n:PREROUTING DROP [0:0]\n:INPUT ACCEPT [0:0]\n"
                                "-A PREROUTING -p udp -j ACCEPT\nCOMMIT\n"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what, "iptables chain PREROUTING (mangle) drops echo replies by policy");
    EXPECT_EQ(found[0].fix, "iptables -t mangle -I PREROUTING -i veth0 -p icmp --icmp-type echo-reply -j ACCEPT");

    // Before conntrack (raw), a rule on the state is not evaluated.
    const auto unsure = unsureIn(iptables("*raw\n:PREROUTING ACCEPT [0:0]\n"
                                          "-A PREROUTING -m state --state NEW -j DROP\nCOMMIT\n"));
    ASSERT_EQ(unsure.size(), 1u);
    EXPECT_TRUE(has(unsure[0].why, "--state NEW"));

    // A match of no known module, a flag without a value: its target still counts.
    const auto flagged = unsureIn(iptables("*filter\n:INPUT ACCEPT [0:0]\n"
                                           "-A INPUT -m socket --transparent -j DROP\nCOMMIT\n"));
    ASSERT_EQ(flagged.size(), 1u);
    EXPECT_TRUE(has(flagged[0].why, "depends on \"-m socket --transparent\""));
}

TEST(DoctorFirewall, IptablesOnNftablesIsReadOnceFromItsOwnListing) {
    const std::string json(savedRuleSet("iptables_policy.json"));
    const std::string text(savedRuleSet("iptables_policy.txt"));
    const auto found = firewallFindings(
        {{"nftables", "nft", json}, {"iptables", "iptables-save", text}}, adapter);
    std::vector<std::string> what;
    for (const Finding& finding : found) {
        if (finding.problem || finding.standing == Standing::unsure) what.push_back(finding.what);
    }
    ASSERT_EQ(what.size(), 2u);
    EXPECT_EQ(what[0], "nftables rule in inet own input (handle 2): icmp type echo-reply drop");
    EXPECT_TRUE(std::none_of(found.begin(), found.end(),
                             [](const Finding& f) { return has(f.what, "ip filter"); }));
    EXPECT_EQ(what[1], "iptables chain INPUT drops the devices' replies by policy");

    // Legacy iptables keeps its own tables: nft's ip filter is nft's then.
    std::string legacy = text;
    for (std::size_t at; (at = legacy.find("(nf_tables)")) != std::string::npos;) legacy.replace(at, 11, "(legacy)");
    const auto both = firewallFindings({{"nftables", "nft", json}, {"iptables", "iptables-save", legacy}}, adapter);
    EXPECT_TRUE(std::any_of(both.begin(), both.end(),
                            [](const Finding& f) { return has(f.what, "nftables chain ip filter INPUT"); }));
}

TEST(DoctorFirewall, AnyListingIsReadWithoutCrashAndWithinBounds) {
    for (const std::string broken : {"", "{", "[]", "{\"nftables\": 3}", "not json at all"}) {
        const auto found = firewallFindings({{"nftables", "nft", broken}}, adapter);
        ASSERT_EQ(found.size(), 1u) << broken;
        EXPECT_EQ(findingTag(found[0]), "[unsure] ") << broken;
    }
    const auto chain = [](const std::string& name, const std::string& extra) {
        return "{\"chain\": {\"family\": \"inet\", \"table\": \"t\", \"name\": \"" + name + "\"" + extra + "}}";
    };
    const auto rule = [](const std::string& chain, const std::string& expr) {
        return "{\"rule\": {\"family\": \"inet\", \"table\": \"t\", \"chain\": \"" + chain +
               "\", \"handle\": 7, \"expr\": " + expr + "}}";
    };
    const std::string input = chain("in", ", \"type\": \"filter\", \"hook\": \"input\", \"prio\": 0, \"policy\": \"accept\"");
    const auto run = [&](const std::vector<std::string>& objects) {
        std::string json = "{\"nftables\": [{\"table\": {\"family\": \"inet\", \"name\": \"t\"}}";
        for (const std::string& object : objects) json += ", " + object;
        return firewallFindings({{"nftables", "nft", json + "]}"}}, adapter);
    };
    // A jump into itself, gotos in a ring, a chain not listed, shapes of the wrong kind.
    for (const auto& objects : std::vector<std::vector<std::string>>{
             {input, chain("a", ""), rule("in", "[{\"jump\": {\"target\": \"a\"}}]"),
              rule("a", "[{\"jump\": {\"target\": \"a\"}}]")},
             {input, chain("a", ""), chain("b", ""), rule("in", "[{\"goto\": {\"target\": \"a\"}}]"),
              rule("a", "[{\"goto\": {\"target\": \"b\"}}]"), rule("b", "[{\"goto\": {\"target\": \"a\"}}]")},
             {input, rule("in", "[{\"jump\": {\"target\": \"nowhere\"}}]")},
             {input, rule("in", "7")},
             {input, rule("in", "[{\"match\": {\"op\": \"==\", \"left\": 3, \"right\": {\"prefix\": 1}}}, {\"drop\": null}]")},
         }) {
        const auto found = run(objects);
        ASSERT_EQ(found.size(), 1u) << objects.back();
        EXPECT_EQ(findingTag(found[0]), "[unsure] ") << objects.back();
    }
    // Forty rules, each not evaluated: the paths double with each, the walk stops.
    std::vector<std::string> many{input};
    for (int i = 0; i < 40; ++i) {
        many.push_back(rule("in", "[{\"match\": {\"op\": \"==\", \"left\": {\"meta\": {\"key\": \"mark\"}}, "
                                  "\"right\": " + std::to_string(i) + "}}, {\"accept\": null}]"));
    }
    many.push_back(rule("in", "[{\"drop\": null}]"));
    const auto found = run(many);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(findingTag(found[0]), "[unsure] ");
}

// Every value of every saved listing replaced in turn by one of another
// shape, and every iptables line cut short: each is read and walked.
TEST(DoctorFirewall, SavedListingsWithAnyPartOutOfShapeAreStillRead) {
    const std::vector<nlohmann::json> others = {
        nullptr, 7, -1, "x", "@missing", nlohmann::json::array(), nlohmann::json::object(),
        {{"set", {1, "a"}}}, {{"prefix", {{"addr", 3}, {"len", 99}}}}, {{"range", {"a"}}},
        {{"jump", {{"target", "input"}}}}};
    std::size_t walked = 0;
    for (const char* name : {"nft_undecided.json", "nft_jump_udp.json", "nft_policy_tcp_only.json",
                             "iptables_policy.json"}) {
        const nlohmann::json saved = nlohmann::json::parse(savedRuleSet(name));
        // Each leaf and each object or list above it.
        std::set<std::string> pointers;
        const nlohmann::json flat = saved.flatten();
        for (auto leaf = flat.begin(); leaf != flat.end(); ++leaf) {
            for (auto pointer = nlohmann::json::json_pointer(leaf.key()); !pointer.empty();
                 pointer = pointer.parent_pointer()) {
                pointers.insert(pointer.to_string());
            }
        }
        for (const std::string& pointer : pointers) {
            for (const nlohmann::json& other : others) {
                nlohmann::json changed = saved;
                changed[nlohmann::json::json_pointer(pointer)] = other;
                const auto found = firewallFindings({{"nftables", "nft", changed.dump()}}, adapter);
                EXPECT_FALSE(found.empty()) << name << " " << pointer;
                ++walked;
            }
        }
    }
    EXPECT_GT(walked, 1000u);

    const std::string text(savedRuleSet("iptables_cases.txt"));
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        const auto found = iptables(text.substr(0, cut) + "\n" + text.substr(text.find('\n', cut) == std::string::npos ? text.size() : text.find('\n', cut)));
        EXPECT_FALSE(found.empty()) << cut;
    }
}

TEST(DoctorFirewall, AListingThatCouldNotBeReadIsAProblemAndNoListingSaysNothing) {
    const auto found = firewallFindings({{"nftables", "nft -j list ruleset", std::nullopt}}, adapter);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].problem);
    EXPECT_TRUE(has(found[0].what, "could not be read"));
    EXPECT_TRUE(firewallFindings({}, adapter).empty());
}

// The walk itself, over hand-made chains.
TEST(FirewallWalk, InterfacesStatesAndHooksAsTheKernelSeesThem) {
    const auto probes = firewallProbes(adapter);
    const Packet& discovery = probes[0].packet;
    const Packet& read = probes[2].packet;
    Table table{"inet", "t", {}};
    Chain base{"in", Hook::input, 0, "filter", false, true, {}, {}};
    const auto drop = [](std::vector<Match> matches) {
        return Rule{std::move(matches), {{std::nullopt, {Action::drop, ""}}}, "r", "1", {}};
    };
    // Accepted on every path: nothing to say.
    const auto outcome = [&](const Chain& chain, const Packet& packet) {
        const auto verdicts = evaluateChain(table, chain, packet);
        EXPECT_LE(verdicts.size(), 1u);
        return verdicts.empty() ? std::optional<Outcome>() : verdicts.front().outcome;
    };
    const std::optional<Outcome> accepted;

    base.rules = {drop({{Field::iifname, false, {}, {"vet*"}, ""}})};
    EXPECT_EQ(outcome(base, discovery), Outcome::dropped);
    base.rules = {drop({{Field::iifname, true, {}, {"veth0"}, ""}})};
    EXPECT_EQ(outcome(base, discovery), accepted);
    base.rules = {drop({{Field::iifname, false, {}, {"veth00"}, ""}})};
    EXPECT_EQ(outcome(base, discovery), accepted);

    base.rules = {drop({{Field::ctState, false, {{ctNew, ctNew}}, {}, ""}})};
    EXPECT_EQ(outcome(base, discovery), Outcome::dropped);
    EXPECT_EQ(outcome(base, read), accepted);
    Chain early = base;
    early.hook = Hook::prerouting;
    early.priority = -300;
    EXPECT_EQ(outcome(early, discovery), Outcome::unsure);

    // NAT chains see only new connections; an ingress chain only its device.
    Chain nat = base;
    nat.type = "nat";
    nat.rules = {drop({})};
    EXPECT_EQ(outcome(nat, read), accepted);
    EXPECT_EQ(outcome(nat, discovery), Outcome::dropped);
    Chain ingress = nat;
    ingress.type = "filter";
    ingress.hook = Hook::ingress;
    ingress.devices = {"eth0"};
    EXPECT_EQ(outcome(ingress, discovery), accepted);
    ingress.devices = {"veth0"};
    EXPECT_EQ(outcome(ingress, discovery), Outcome::dropped);
    ingress.deviceKnown = false;
    EXPECT_EQ(outcome(ingress, discovery), Outcome::unsure);

    // A negated prefix that covers part of the subnet drops the rest of it.
    base.rules = {drop({{Field::saddr, true, {{0x0a4d0000, 0x0a4d007f}}, {}, ""}})};
    EXPECT_EQ(outcome(base, discovery), Outcome::partly);
}

TEST(FirewallWalk, ProbesFollowTheAdaptersSubnet) {
    const auto probes = firewallProbes({"eth1", Ipv4::fromOctets(192, 168, 5, 20), Ipv4::fromOctets(255, 255, 252, 0)});
    ASSERT_EQ(probes.size(), 6u);
    EXPECT_EQ(probes[0].what, "discovery replies from devices on 192.168.4.0/22");
    EXPECT_EQ(probes[0].packet.saddr.front().low, 0xc0a80401u);
    EXPECT_EQ(probes[0].packet.saddr.front().high, 0xc0a807feu);
    EXPECT_EQ(probes[1].packet.daddr.front().low, 0xc0a807ffu);
    EXPECT_EQ(probes[1].packet.daddr.back().low, 0xffffffffu);
    EXPECT_EQ(probes[3].packet.saddr.size(), 3u);  // around loopback and the subnet
    EXPECT_TRUE(probes[5].echo);
    EXPECT_EQ(probes[5].packet.icmpType, 0u);
}

}  // namespace
}  // namespace tamro::cli
