#include "doctor_firewall.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <tuple>

#include "protocol/exchange.h"

namespace tamro::cli {

using namespace firewall;

namespace {

const std::string port = std::to_string(devicePort);

// The system's ephemeral ports (Linux's default range): the reads' replies
// come back to one of them.
constexpr Interval ephemeral{32768, 60999};

bool plainWord(const std::string& word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || std::string_view("_./:,=+@%-").find(static_cast<char>(c)) !=
                                           std::string_view::npos;
    });
}

// A word as the shell passes it on unchanged.
std::string shellWord(const std::string& word) {
    if (plainWord(word)) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Values without(Values from, Interval hole) {
    Values result;
    for (const Interval& part : from) {
        if (hole.high < part.low || hole.low > part.high) {
            result.push_back(part);
            continue;
        }
        if (part.low < hole.low) result.push_back({part.low, hole.low - 1});
        if (part.high > hole.high) result.push_back({hole.high + 1, part.high});
    }
    return result;
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    }
    return out;
}

struct Entry {
    std::size_t table = 0;
    const Chain* base = nullptr;
    const Chain* chain = nullptr;
    const Rule* rule = nullptr;  // nothing: the base chain's policy
    bool echo = false;           // policies: the fix differs for echo replies
    std::vector<std::string> dropped, partly, unsure;
    bool echoDropped = false;
    bool devicesDropped = false;
    std::string partDoubt, unsureDoubt;
};

class Report {
public:
    Report(std::string tool, const RuleSet& rules, const FirewallAdapter& adapter)
        : tool_(std::move(tool)), rules_(rules), adapter_(adapter) {}

    void add(std::size_t table, const Chain& base, const FirewallProbe& probe, const ChainVerdict& verdict) {
        Entry* entry = nullptr;
        for (Entry& known : entries_) {
            if (known.table == table && known.chain == verdict.chain && known.rule == verdict.rule &&
                (verdict.rule != nullptr || known.echo == probe.echo)) {
                entry = &known;
            }
        }
        if (entry == nullptr) {
            entries_.push_back({table, &base, verdict.chain, verdict.rule, probe.echo, {}, {}, {}, false, false, {}, {}});
            entry = &entries_.back();
        }
        switch (verdict.outcome) {
            case Outcome::dropped: entry->dropped.push_back(probe.what); break;
            case Outcome::partly:
                entry->partly.push_back(probe.what);
                if (entry->partDoubt.empty()) entry->partDoubt = verdict.doubt;
                break;
            case Outcome::unsure:
                entry->unsure.push_back(probe.what);
                if (entry->unsureDoubt.empty()) entry->unsureDoubt = verdict.doubt;
                return;
        }
        (probe.echo ? entry->echoDropped : entry->devicesDropped) = true;
    }

    std::vector<Finding> findings() const {
        // In the listing's order: table, chain, rule, the policy last.
        std::vector<Entry> entries = entries_;
        const auto place = [&](const Entry& entry) {
            const Table& table = rules_.tables[entry.table];
            const auto chain = static_cast<std::size_t>(entry.chain - table.chains.data());
            const std::size_t rule = entry.rule == nullptr
                                         ? entry.chain->rules.size()
                                         : static_cast<std::size_t>(entry.rule - entry.chain->rules.data());
            return std::tuple(entry.table, chain, rule, entry.echo);
        };
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const Entry& a, const Entry& b) { return place(a) < place(b); });
        std::vector<Finding> out;
        for (const Entry& entry : entries) {
            if (entry.dropped.empty() && entry.partly.empty() && entry.unsure.empty()) continue;
            Finding finding;
            finding.what = name(entry);
            if (entry.dropped.empty() && entry.partly.empty()) {
                finding.problem = false;
                finding.standing = Standing::unsure;
                finding.why = "whether it drops " + join(entry.unsure) + " depends on \"" +
                              entry.unsureDoubt + "\", which the doctor does not evaluate";
                out.push_back(std::move(finding));
                continue;
            }
            std::string why = "it drops ";
            if (!entry.dropped.empty()) why += join(entry.dropped);
            if (!entry.partly.empty()) {
                why += std::string(entry.dropped.empty() ? "" : ", and ") + "some of the " + join(entry.partly);
                if (entry.rule == nullptr || entry.partDoubt != entry.rule->text) {
                    why += " (those matching \"" + entry.partDoubt + "\")";
                }
            }
            if (entry.devicesDropped) why += ": the search misses those devices";
            if (entry.echoDropped) {
                why += std::string(entry.devicesDropped ? "; " : ": ") +
                       "PING then reports an address in use as free";
            }
            finding.why = why;
            finding.fix = fix(entry);
            out.push_back(std::move(finding));
        }
        return out;
    }

private:
    bool nft() const { return tool_ == "nftables"; }

    std::string chainWords(const Entry& entry, const Chain& chain) const {
        const Table& table = rules_.tables[entry.table];
        return shellWord(table.family) + " " + shellWord(table.name) + " " + shellWord(chain.name);
    }

    std::string tableOption(const Entry& entry) const {
        const std::string& table = rules_.tables[entry.table].name;
        return table == "filter" ? "" : "-t " + shellWord(table) + " ";
    }

    std::string name(const Entry& entry) const {
        const Table& table = rules_.tables[entry.table];
        if (entry.rule != nullptr) {
            if (nft()) {
                return "nftables rule in " + table.family + " " + table.name + " " + entry.chain->name +
                       (entry.rule->handle.empty() ? "" : " (handle " + entry.rule->handle + ")") +
                       ": " + entry.rule->text;
            }
            return "iptables rule" + (table.name == "filter" ? "" : " in " + table.name) + ": " +
                   entry.rule->text;
        }
        const std::string what = entry.echo ? "echo replies" : "the devices' replies";
        if (nft()) {
            return "nftables chain " + table.family + " " + table.name + " " + entry.base->name +
                   " drops " + what + " by policy";
        }
        return "iptables chain " + entry.base->name +
               (table.name == "filter" ? "" : " (" + table.name + ")") + " drops " + what + " by policy";
    }

    std::string fix(const Entry& entry) const {
        if (entry.rule != nullptr) {
            const std::string chain = chainWords(entry, *entry.chain);
            if (nft()) {
                if (entry.rule->handle.empty()) {
                    return "nft -a list chain " + chain + ", then nft delete rule " + chain + " handle N";
                }
                return "nft delete rule " + chain + " handle " + shellWord(entry.rule->handle);
            }
            std::string command = "iptables " + tableOption(entry) + "-D " + shellWord(entry.chain->name);
            for (const std::string& word : entry.rule->ruleWords) command += " " + shellWord(word);
            return command;
        }
        const std::string& interface = adapter_.interfaceName;
        if (nft()) {
            const std::string match = "iifname \"" + interface + "\"";
            return "nft insert rule " + chainWords(entry, *entry.base) + " " +
                   (plainWord(interface) ? match : shellWord(match)) +
                   (entry.echo ? " icmp type echo-reply accept" : " udp sport " + port + " accept");
        }
        return "iptables " + tableOption(entry) + "-I " + shellWord(entry.base->name) + " -i " +
               shellWord(interface) +
               (entry.echo ? " -p icmp --icmp-type echo-reply -j ACCEPT"
                           : " -p udp --sport " + port + " -j ACCEPT");
    }

    std::string tool_;
    const RuleSet& rules_;
    const FirewallAdapter& adapter_;
    std::vector<Entry> entries_;
};

bool walked(const Table& table, const Chain& chain) {
    if (table.family == "netdev") return chain.hook == Hook::ingress;
    if (table.family != "ip" && table.family != "inet") return false;
    return chain.hook == Hook::ingress || chain.hook == Hook::prerouting || chain.hook == Hook::input;
}

}  // namespace

std::vector<FirewallProbe> firewallProbes(const FirewallAdapter& adapter) {
    const std::uint32_t mask = adapter.mask.hostOrder();
    const std::uint32_t network = adapter.address.hostOrder() & mask;
    const std::uint32_t broadcast = network | ~mask;
    const std::string subnet = toDottedText(Ipv4::fromHostOrder(network)) + "/" +
                               std::to_string(std::popcount(mask));
    const bool hosts = broadcast - network >= 2;  // /31 and /32 have no broadcast of their own
    const Values on = hosts ? Values{{network + 1, broadcast - 1}} : Values{{network, broadcast}};
    // Addresses a device may hold outside the subnet: unicast, not loopback.
    const Values off = without({{0x01000000, 0x7effffff}, {0x80000000, 0xdfffffff}}, {network, broadcast});
    const Values toAdapter{{adapter.address.hostOrder(), adapter.address.hostOrder()}};
    Values toBroadcast{{0xffffffff, 0xffffffff}};
    if (hosts) toBroadcast.insert(toBroadcast.begin(), {broadcast, broadcast});
    const Values device{{devicePort, devicePort}};

    const auto udp = [&](const Values& from, const Values& to, const Values& toPort, std::uint32_t state,
                         std::uint32_t type) {
        Packet packet;
        packet.iifname = adapter.interfaceName;
        packet.saddr = from;
        packet.daddr = to;
        packet.sport = device;
        packet.dport = toPort;
        packet.ctState = state;
        packet.pktType = type;
        packet.dstType = type == pktBroadcast ? addrBroadcast : addrLocal;
        return packet;
    };
    // Discovery is broadcast from the device port: a reply matches no
    // connection the query opened (its address is the device's, not the
    // broadcast's), so conntrack sees it as new. The reads go to the device
    // itself from a fresh port, so their replies are established.
    std::vector<FirewallProbe> probes = {
        {"discovery replies from devices on " + subnet, false, udp(on, toAdapter, device, ctNew, pktHost)},
        {"discovery replies sent by broadcast on " + subnet, false,
         udp(on, toBroadcast, device, ctNew, pktBroadcast)},
        {"replies to the settings reads from devices on " + subnet, false,
         udp(on, toAdapter, {ephemeral}, ctEstablished, pktHost)},
        {"discovery replies from devices outside " + subnet, false, udp(off, toAdapter, device, ctNew, pktHost)},
        {"broadcast discovery replies from devices outside " + subnet, false,
         udp(off, toBroadcast, device, ctNew, pktBroadcast)},
    };
    // PING's echo request goes to the address itself: the reply is established.
    Packet echo;
    echo.iifname = adapter.interfaceName;
    echo.saddr = on;
    echo.daddr = toAdapter;
    echo.l4proto = 1;
    echo.icmpType = 0;
    echo.ctState = ctEstablished;
    probes.push_back({"ICMP echo replies from " + subnet, true, std::move(echo)});
    return probes;
}

std::vector<Finding> rulesetFindings(const std::string& tool, const RuleSet& rules,
                                     const FirewallAdapter& adapter,
                                     const std::vector<FirewallProbe>& probes,
                                     const std::set<std::string>& skipIpTables) {
    if (!rules.unreadable.empty()) {
        Finding unsure{false, tool + ": the rules could not be evaluated: " + rules.unreadable,
                       "a rule there may drop the devices' replies", ""};
        unsure.standing = Standing::unsure;
        return {unsure};
    }
    Report report(tool, rules, adapter);
    bool skipped = false;
    for (std::size_t t = 0; t < rules.tables.size(); ++t) {
        const Table& table = rules.tables[t];
        if (table.family == "ip" && skipIpTables.contains(table.name)) {
            skipped = true;
            continue;
        }
        for (const Chain& chain : table.chains) {
            if (!walked(table, chain)) continue;
            for (const FirewallProbe& probe : probes) {
                for (const ChainVerdict& verdict : evaluateChain(table, chain, probe.packet)) {
                    report.add(t, chain, probe, verdict);
                }
            }
        }
    }
    std::vector<Finding> findings = report.findings();
    if (findings.empty()) {
        findings.push_back({false,
                            tool + ": no rule " + (skipped ? "outside iptables' tables " : "") +
                                "drops the devices' replies or echo replies on " + adapter.interfaceName,
                            "", ""});
    }
    return findings;
}

std::vector<Finding> firewallFindings(const std::vector<FirewallListing>& listings,
                                      const FirewallAdapter& adapter) {
    const std::vector<FirewallProbe> probes = firewallProbes(adapter);
    std::vector<Finding> findings;
    // iptables on the nf_tables backend keeps its rules in nftables tables of
    // family ip with its own table names, so nft lists them too, in a form
    // nft -j shows only in part. Such tables are read from iptables-save
    // alone; nft's own tables, whatever their names in other families, from nft.
    std::set<std::string> iptablesTables;
    for (const FirewallListing& listing : listings) {
        if (listing.tool != "iptables" || !listing.text) continue;
        bool nfTables = false;
        const RuleSet rules = readIptablesSave(*listing.text, &nfTables);
        if (!nfTables) continue;
        for (const Table& table : rules.tables) iptablesTables.insert(table.name);
    }
    for (const FirewallListing& listing : listings) {
        if (!listing.text) {
            findings.push_back({true,
                                listing.tool + " is installed but its rules could not be read (" +
                                    listing.command + ")",
                                "a rule there may drop the devices' replies",
                                "run tamroctl doctor as root to read them"});
            continue;
        }
        const bool nft = listing.tool == "nftables";
        const RuleSet rules = nft ? readNftablesJson(*listing.text) : readIptablesSave(*listing.text);
        const auto more = rulesetFindings(listing.tool, rules, adapter, probes,
                                          nft ? iptablesTables : std::set<std::string>{});
        findings.insert(findings.end(), more.begin(), more.end());
    }
    return findings;
}

}  // namespace tamro::cli
