// iptables rules from iptables-save: each "-A CHAIN ..." line read option by
// option; an option not known here makes the rule's match not evaluated.
#include <algorithm>
#include <charconv>
#include <sstream>

#include "firewall_rules.h"
#include "platform/ipv4.h"

namespace tamro::cli::firewall {

namespace {

// iptables-save quotes a word with spaces ("a b") and escapes quotes in it.
std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> result;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
        if (at >= line.size()) break;
        std::string word;
        bool quoted = false;
        while (at < line.size() && (quoted || (line[at] != ' ' && line[at] != '\t' && line[at] != '\r'))) {
            if (line[at] == '\\' && at + 1 < line.size()) {
                word += line[at + 1];
                at += 2;
                continue;
            }
            if (line[at] == '"') quoted = !quoted;
            else word += line[at];
            ++at;
        }
        result.push_back(std::move(word));
    }
    return result;
}

std::optional<std::uint32_t> number(std::string_view digits) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

// "10.0.0.0/8", "10.0.0.0/255.0.0.0" or an address.
std::optional<Interval> network(const std::string& text) {
    const std::size_t slash = text.find('/');
    const auto base = parseDottedText(std::string_view(text).substr(0, slash));
    if (!base) return std::nullopt;
    std::uint32_t mask = ~std::uint32_t{0};
    if (slash != std::string::npos) {
        const std::string rest = text.substr(slash + 1);
        if (const auto bits = number(rest); bits && *bits <= 32) {
            mask = *bits == 0 ? 0 : ~std::uint32_t{0} << (32 - *bits);
        } else if (const auto dotted = parseDottedText(rest)) {
            mask = dotted->hostOrder();
        } else {
            return std::nullopt;
        }
    }
    const std::uint32_t low = base->hostOrder() & mask;
    return Interval{low, low | ~mask};
}

// "30718", "30000:31000"; multiport lists join these with commas.
std::optional<Values> ports(const std::string& text) {
    Values values;
    for (const std::string& part : split(text, ',')) {
        const std::size_t colon = part.find(':');
        const auto low = number(std::string_view(part).substr(0, colon));
        const auto high = colon == std::string::npos ? low : number(std::string_view(part).substr(colon + 1));
        if (!low || !high) return std::nullopt;
        values.push_back({*low, *high});
    }
    if (values.empty()) return std::nullopt;
    return values;
}

std::optional<Values> states(const std::string& text) {
    Values values;
    for (const std::string& part : split(text, ',')) {
        const auto bit = ctStateBit(part);
        if (!bit) return std::nullopt;
        values.push_back({*bit, *bit});
    }
    return values;
}

std::optional<Values> protocol(const std::string& text) {
    if (text == "all" || text == "0") return Values{{0, 255}};
    if (const auto known = protocolNumber(text)) return Values{{*known, *known}};
    if (const auto value = number(text)) return Values{{*value, *value}};
    return std::nullopt;
}

std::optional<Values> icmpType(const std::string& text) {
    const std::string type = text.substr(0, text.find('/'));
    if (text.find('/') != std::string::npos) return std::nullopt;  // a code too: not evaluated
    if (const auto known = icmpTypeNumber(type)) return Values{{*known, *known}};
    if (type == "any") return Values{{0, 255}};
    if (const auto value = number(type)) return Values{{*value, *value}};
    return std::nullopt;
}

std::optional<Values> addressRange(const std::string& text) {
    const std::size_t dash = text.find('-');
    const auto low = parseDottedText(std::string_view(text).substr(0, dash));
    const auto high = dash == std::string::npos ? low : parseDottedText(std::string_view(text).substr(dash + 1));
    if (!low || !high) return std::nullopt;
    return Values{{low->hostOrder(), high->hostOrder()}};
}

std::optional<Values> packetType(const std::string& text) {
    if (text == "unicast" || text == "host") return Values{{pktHost, pktHost}};
    if (text == "broadcast") return Values{{pktBroadcast, pktBroadcast}};
    if (text == "multicast") return Values{{2, 2}};
    return std::nullopt;
}

std::optional<Values> addressTypes(const std::string& text) {
    Values values;
    for (const std::string& part : split(text, ',')) {
        if (part == "UNICAST") values.push_back({addrUnicast, addrUnicast});
        else if (part == "LOCAL") values.push_back({addrLocal, addrLocal});
        else if (part == "BROADCAST") values.push_back({addrBroadcast, addrBroadcast});
        else if (part == "MULTICAST") values.push_back({addrMulticast, addrMulticast});
        else return std::nullopt;
    }
    return values;
}

bool nonTerminating(const std::string& target) {
    for (const char* known : {"LOG", "NFLOG", "ULOG", "AUDIT", "TRACE", "MARK", "CONNMARK",
                              "CLASSIFY", "TCPMSS", "DSCP", "TOS", "TTL", "CT", "NOTRACK"}) {
        if (target == known) return true;
    }
    return false;
}

Rule readRule(const std::vector<std::string>& ruleWords, const std::string& line,
              const std::vector<std::string>& chainNames) {
    Rule rule;
    rule.text = line;
    rule.ruleWords = ruleWords;
    std::string module;
    bool negated = false;
    bool targetSeen = false;
    const auto unknown = [&](const std::string& what) {
        rule.matches.push_back(unknownMatch(what));
    };
    const auto add = [&](Field field, const std::optional<Values>& values, const std::string& word) {
        if (!values) return unknown(word);
        rule.matches.push_back({field, negated, *values, {}, ""});
    };
    for (std::size_t i = 0; i < ruleWords.size(); ++i) {
        const std::string& option = ruleWords[i];
        if (option == "!") {
            negated = true;
            continue;
        }
        const bool hasValue = i + 1 < ruleWords.size();
        const std::string value = hasValue ? ruleWords[i + 1] : "";
        const std::string shown = negated ? "! " + option + " " + value : option + " " + value;
        if (targetSeen) {
            // The target's own options (--reject-with, --log-prefix) need no reading.
            if (option.starts_with("--") && hasValue && !ruleWords[i + 1].starts_with("-")) ++i;
            negated = false;
            continue;
        }
        if (module == "addrtype" && option == "--limit-iface-in") {
            // The type as seen from the incoming interface: the same here.
        } else if (!hasValue) {
            unknown(option);
        } else if (option == "-s" || option == "--source") {
            const auto found = network(value);
            add(Field::saddr, found ? std::optional<Values>(Values{*found}) : std::nullopt, shown);
            ++i;
        } else if (option == "-d" || option == "--destination") {
            const auto found = network(value);
            add(Field::daddr, found ? std::optional<Values>(Values{*found}) : std::nullopt, shown);
            ++i;
        } else if (option == "-i" || option == "--in-interface") {
            std::string name = value;
            if (name.ends_with("+")) name.back() = '*';
            rule.matches.push_back({Field::iifname, negated, {}, {name}, ""});
            ++i;
        } else if (option == "-p" || option == "--protocol") {
            add(Field::l4proto, protocol(value), shown);
            ++i;
        } else if (option == "-m" || option == "--match") {
            module = value;
            ++i;
        } else if (option == "-j" || option == "--jump" || option == "-g" || option == "--goto") {
            targetSeen = true;
            ++i;
            const bool go = option == "-g" || option == "--goto";
            Verdict verdict;
            if (value == "ACCEPT") verdict = {Action::accept, ""};
            else if (value == "DROP" || value == "REJECT") verdict = {Action::drop, ""};
            else if (value == "RETURN") verdict = {Action::back, ""};
            else if (std::find(chainNames.begin(), chainNames.end(), value) != chainNames.end()) {
                verdict = {go ? Action::go : Action::jump, value};
            } else if (nonTerminating(value)) {
                continue;  // the packet goes on to the next rule
            } else {
                verdict = {Action::unknown, "its target " + value + " is not evaluated"};
            }
            rule.branches.push_back({std::nullopt, verdict});
        } else if ((option == "--sport" || option == "--source-port") && (module == "udp" || module == "tcp" || module.empty())) {
            add(Field::sport, ports(value), shown);
            ++i;
        } else if ((option == "--dport" || option == "--destination-port") && (module == "udp" || module == "tcp" || module.empty())) {
            add(Field::dport, ports(value), shown);
            ++i;
        } else if (module == "multiport" && (option == "--sports" || option == "--source-ports")) {
            add(Field::sport, ports(value), shown);
            ++i;
        } else if (module == "multiport" && (option == "--dports" || option == "--destination-ports")) {
            add(Field::dport, ports(value), shown);
            ++i;
        } else if (module == "multiport" && option == "--ports") {
            // Either port matching is one condition over two fields: not evaluated.
            unknown(shown);
            ++i;
        } else if ((module == "conntrack" && option == "--ctstate") || (module == "state" && option == "--state")) {
            add(Field::ctState, states(value), shown);
            ++i;
        } else if (module == "icmp" && option == "--icmp-type") {
            add(Field::icmpType, icmpType(value), shown);
            ++i;
        } else if (module == "iprange" && option == "--src-range") {
            add(Field::saddr, addressRange(value), shown);
            ++i;
        } else if (module == "iprange" && option == "--dst-range") {
            add(Field::daddr, addressRange(value), shown);
            ++i;
        } else if (module == "pkttype" && option == "--pkt-type") {
            add(Field::pktType, packetType(value), shown);
            ++i;
        } else if (module == "addrtype" && option == "--dst-type") {
            add(Field::dstType, addressTypes(value), shown);
            ++i;
        } else if (module == "comment" && option == "--comment") {
            ++i;
        } else {
            // Some other match: it may take the packet or not.
            std::string words = (negated ? "! " : "") + option;
            while (i + 1 < ruleWords.size() && !ruleWords[i + 1].starts_with("-") && ruleWords[i + 1] != "!") {
                words += " " + ruleWords[++i];
            }
            unknown((module.empty() ? "" : "-m " + module + " ") + words);
        }
        negated = false;
    }
    return rule;
}

Hook hookOf(const std::string& chain) {
    if (chain == "INPUT") return Hook::input;
    if (chain == "PREROUTING") return Hook::prerouting;
    return Hook::other;
}

// The priorities iptables gives its tables on each hook.
std::int64_t priorityOf(const std::string& table) {
    if (table == "raw") return -300;
    if (table == "mangle") return -150;
    if (table == "nat") return -100;
    if (table == "security") return 50;
    return 0;
}

}  // namespace

RuleSet readIptablesSave(std::string_view text, bool* nfTables) {
    RuleSet rules;
    if (nfTables != nullptr) *nfTables = false;
    std::istringstream in{std::string(text)};
    Table* table = nullptr;
    std::vector<std::string> chainNames;
    std::vector<std::pair<std::string, std::vector<std::string>>> pending;  // line, words
    const auto finish = [&] {
        if (table == nullptr) return;
        for (const auto& [line, ruleWords] : pending) {
            const std::string& chainName = ruleWords[1];
            Chain* chain = nullptr;
            for (Chain& candidate : table->chains) {
                if (candidate.name == chainName) chain = &candidate;
            }
            if (chain == nullptr) continue;
            chain->rules.push_back(readRule({ruleWords.begin() + 2, ruleWords.end()}, line, chainNames));
        }
        pending.clear();
        chainNames.clear();
        table = nullptr;
    };
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("#")) {
            if (line.starts_with("# Generated by") && line.find("(nf_tables)") != std::string::npos &&
                nfTables != nullptr) {
                *nfTables = true;
            }
            continue;
        }
        // Counters saved with -c come first: "[0:0] -A INPUT ...".
        if (line.starts_with("[")) {
            const std::size_t end = line.find("] ");
            if (end != std::string::npos) line.erase(0, end + 2);
        }
        if (line.starts_with("*")) {
            finish();
            rules.tables.push_back({"ip", line.substr(1), {}});
            table = &rules.tables.back();
        } else if (line.starts_with(":") && table != nullptr) {
            const std::vector<std::string> parts = words(line.substr(1));
            if (parts.empty()) continue;
            Chain chain;
            chain.name = parts[0];
            const bool builtin = parts.size() > 1 && parts[1] != "-";
            chain.hook = builtin ? hookOf(chain.name) : Hook::none;
            chain.priority = priorityOf(table->name);
            chain.type = table->name == "nat" ? "nat" : "filter";
            chain.policyDrop = builtin && parts[1] == "DROP";
            chainNames.push_back(chain.name);
            table->chains.push_back(std::move(chain));
        } else if (line.starts_with("-A ") && table != nullptr) {
            std::vector<std::string> ruleWords = words(line);
            if (ruleWords.size() >= 2) pending.emplace_back(line, std::move(ruleWords));
        } else if (line == "COMMIT") {
            finish();
        }
    }
    finish();
    if (!text.empty() && rules.tables.empty() && text.find_first_not_of(" \t\r\n") != std::string_view::npos &&
        text.find("*") == std::string_view::npos) {
        rules.unreadable = "its listing is not what iptables-save prints";
    }
    return rules;
}

}  // namespace tamro::cli::firewall
