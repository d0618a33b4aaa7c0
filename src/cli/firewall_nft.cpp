// nftables rules from `nft -j list ruleset`. The listing is untrusted text:
// anything of the wrong shape becomes a condition not evaluated, never an
// exception.
#include <charconv>
#include <map>
#include <tuple>

#include <nlohmann/json.hpp>

#include "firewall_rules.h"
#include "platform/ipv4.h"

namespace tamro::cli::firewall {

namespace {

using Json = nlohmann::json;

const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::string text(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (value == nullptr) return {};
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number_integer()) return std::to_string(value->get<std::int64_t>());
    return {};
}

std::optional<std::uint32_t> number(std::string_view digits) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// Names a value: `{"accept": null}` is "accept".
std::string onlyKey(const Json& object) {
    if (!object.is_object() || object.size() != 1) return {};
    return object.begin().key();
}

std::string render(const Json& value);

std::string renderList(const Json& list, const char* separator) {
    std::string out;
    for (const Json& item : list) out += (out.empty() ? "" : separator) + render(item);
    return out;
}

// Close to how nft prints an expression; the JSON itself where it is not known.
std::string render(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_unsigned()) return std::to_string(value.get<std::uint64_t>());
    if (value.is_number_integer()) return std::to_string(value.get<std::int64_t>());
    if (value.is_array()) return renderList(value, ",");
    if (value.is_null()) return "";
    if (value.is_boolean()) return value.get<bool>() ? "exists" : "missing";
    const std::string key = onlyKey(value);
    const Json* body = member(value, key.c_str());
    if (body != nullptr) {
        if (key == "meta") {
            const std::string what = text(*body, "key");
            const bool bare = what == "iifname" || what == "oifname" || what == "iif" ||
                              what == "oif";
            return bare ? what : "meta " + what;
        }
        if (key == "payload") return text(*body, "protocol") + " " + text(*body, "field");
        if (key == "ct") return "ct " + text(*body, "key");
        if (key == "fib") {
            const Json* flags = member(*body, "flags");
            return "fib " + (flags && flags->is_array() ? renderList(*flags, " . ") : "") + " " +
                   text(*body, "result");
        }
        if (key == "prefix") return text(*body, "addr") + "/" + text(*body, "len");
        if (key == "range" && body->is_array() && body->size() == 2) {
            return render((*body)[0]) + "-" + render((*body)[1]);
        }
        if (key == "set" && body->is_array()) return "{ " + renderList(*body, ", ") + " }";
        if (key == "concat" && body->is_array()) return renderList(*body, " . ");
    }
    return value.dump();
}

std::string quotedIfName(const Json& value) {
    if (value.is_string()) return "\"" + value.get<std::string>() + "\"";
    if (const Json* set = member(value, "set"); set != nullptr && set->is_array()) {
        std::string out;
        for (const Json& item : *set) out += (out.empty() ? "" : ", ") + quotedIfName(item);
        return "{ " + out + " }";
    }
    return render(value);
}

bool namesInterface(const Json& left) {
    const Json* meta = member(left, "meta");
    if (meta == nullptr) return false;
    const std::string key = text(*meta, "key");
    return key == "iifname" || key == "iif" || key == "oifname" || key == "oif";
}

std::string renderMatch(const Json& match) {
    const Json empty;
    const Json* left = member(match, "left");
    const Json* right = member(match, "right");
    const std::string op = text(match, "op");
    std::string out = render(left ? *left : empty);
    if (op != "==" && op != "in") out += " " + op;
    out += " ";
    out += left && right && namesInterface(*left) ? quotedIfName(*right)
                                                  : render(right ? *right : empty);
    return out;
}

std::string renderStatement(const Json& statement) {
    const std::string key = onlyKey(statement);
    if (key.empty()) return statement.dump();
    const Json& body = *member(statement, key.c_str());
    if (key == "match") return renderMatch(body);
    if (key == "accept" || key == "drop" || key == "continue" || key == "return") return key;
    if (key == "jump" || key == "goto") return key + " " + text(body, "target");
    if (key == "reject") {
        const std::string with = text(body, "expr");
        return with.empty() ? "reject" : "reject with " + text(body, "type") + " " + with;
    }
    if (key == "counter" || key == "log") return key;
    if (key == "limit") return "limit rate " + text(body, "rate") + "/" + text(body, "per");
    if (key == "vmap") {
        const Json* mapKey = member(body, "key");
        const Json* data = member(body, "data");
        std::string entries;
        if (const Json* set = data ? member(*data, "set") : nullptr; set && set->is_array()) {
            for (const Json& entry : *set) {
                if (!entry.is_array() || entry.size() != 2) continue;
                const std::string name = mapKey && namesInterface(*mapKey) ? quotedIfName(entry[0])
                                                                           : render(entry[0]);
                entries += (entries.empty() ? "" : ", ") + name + " : " + renderStatement(entry[1]);
            }
            return (mapKey ? render(*mapKey) : "") + " vmap { " + entries + " }";
        }
        return (mapKey ? render(*mapKey) : "") + " vmap " + (data ? render(*data) : "");
    }
    return statement.dump();
}

struct Place {
    std::string family, table, name;
    friend bool operator<(const Place& a, const Place& b) {
        return std::tie(a.family, a.table, a.name) < std::tie(b.family, b.table, b.name);
    }
};

Place placeOf(const Json& object, const char* nameKey) {
    return {text(object, "family"), text(object, "table"), text(object, nameKey)};
}

class Reader {
public:
    explicit Reader(const std::vector<Json>& objects) : objects_(objects) {}

    RuleSet read() {
        RuleSet rules;
        std::map<std::pair<std::string, std::string>, std::size_t> tables;
        const auto tableOf = [&](const std::string& family, const std::string& name) -> Table& {
            const auto [at, added] = tables.try_emplace({family, name}, rules.tables.size());
            if (added) rules.tables.push_back({family, name, {}});
            return rules.tables[at->second];
        };
        for (const Json& object : objects_) {
            if (const Json* table = member(object, "table")) {
                tableOf(text(*table, "family"), text(*table, "name"));
            } else if (const Json* set = member(object, "set")) {
                if (const Json* elements = member(*set, "elem")) sets_[placeOf(*set, "name")] = elements;
            } else if (const Json* map = member(object, "map")) {
                if (const Json* elements = member(*map, "elem")) sets_[placeOf(*map, "name")] = elements;
            }
        }
        std::map<Place, std::pair<std::size_t, std::size_t>> chains;
        for (const Json& object : objects_) {
            const Json* chain = member(object, "chain");
            if (chain == nullptr) continue;
            const Place place = placeOf(*chain, "name");
            Table& table = tableOf(place.family, place.table);
            chains[place] = {static_cast<std::size_t>(&table - rules.tables.data()), table.chains.size()};
            table.chains.push_back(readChain(*chain));
        }
        for (const Json& object : objects_) {
            const Json* rule = member(object, "rule");
            if (rule == nullptr) continue;
            const auto found = chains.find(placeOf(*rule, "chain"));
            if (found == chains.end()) continue;  // a rule of no listed chain is never walked
            family_ = text(*rule, "family");
            table_ = text(*rule, "table");
            rules.tables[found->second.first].chains[found->second.second].rules.push_back(
                readRule(*rule));
        }
        return rules;
    }

private:
    static Chain readChain(const Json& chain) {
        Chain result;
        result.name = text(chain, "name");
        const std::string hook = text(chain, "hook");
        if (!hook.empty()) {
            result.hook = hook == "input"        ? Hook::input
                          : hook == "prerouting" ? Hook::prerouting
                          : hook == "ingress"    ? Hook::ingress
                                                 : Hook::other;
        }
        if (const Json* priority = member(chain, "prio"); priority && priority->is_number_integer()) {
            result.priority = priority->get<std::int64_t>();
        }
        if (const std::string type = text(chain, "type"); !type.empty()) result.type = type;
        result.policyDrop = text(chain, "policy") == "drop";
        const Json* devices = member(chain, "dev");
        if (devices == nullptr) devices = member(chain, "devices");
        result.deviceKnown = devices != nullptr;
        if (devices != nullptr && devices->is_string()) result.devices.push_back(devices->get<std::string>());
        if (devices != nullptr && devices->is_array()) {
            for (const Json& device : *devices) {
                if (device.is_string()) result.devices.push_back(device.get<std::string>());
            }
        }
        return result;
    }

    // The elements a right-hand side stands for: a value, a list, an
    // anonymous set or a named one.
    std::optional<std::vector<const Json*>> elements(const Json& right) const {
        std::vector<const Json*> result;
        const Json* list = nullptr;
        if (right.is_string() && right.get<std::string>().starts_with("@")) {
            const auto found = sets_.find({family_, table_, right.get<std::string>().substr(1)});
            if (found == sets_.end()) return std::nullopt;
            list = found->second;
        } else if (const Json* set = member(right, "set")) {
            list = set;
        } else if (right.is_array()) {
            list = &right;
        }
        if (list == nullptr) return std::vector<const Json*>{&right};
        if (!list->is_array()) return std::nullopt;
        for (const Json& item : *list) {
            const Json* element = member(item, "elem");
            const Json* value = element ? member(*element, "val") : nullptr;
            result.push_back(value ? value : &item);
        }
        return result;
    }

    static std::optional<std::uint32_t> scalar(Field field, const Json& value) {
        if (value.is_number_unsigned()) {
            const auto n = value.get<std::uint64_t>();
            return n <= 0xffffffffU ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(n))
                                    : std::nullopt;
        }
        if (!value.is_string()) return std::nullopt;
        const std::string word = value.get<std::string>();
        switch (field) {
            case Field::saddr:
            case Field::daddr:
                if (const auto address = parseDottedText(word)) return address->hostOrder();
                return std::nullopt;
            case Field::l4proto:
                if (const auto known = protocolNumber(word)) return known;
                return number(word);
            case Field::icmpType:
                if (const auto known = icmpTypeNumber(word)) return known;
                return number(word);
            case Field::ctState: return ctStateBit(word);
            case Field::dstType:
                if (word == "unicast") return addrUnicast;
                if (word == "local") return addrLocal;
                if (word == "broadcast") return addrBroadcast;
                if (word == "multicast") return addrMulticast;
                return std::nullopt;
            case Field::pktType:
                if (word == "host") return pktHost;
                if (word == "broadcast") return pktBroadcast;
                if (word == "multicast") return 2;
                if (word == "other") return 3;
                return std::nullopt;
            default: return number(word);
        }
    }

    static std::optional<Interval> interval(Field field, const Json& value) {
        if (const Json* prefix = member(value, "prefix")) {
            const Json* length = member(*prefix, "len");
            const auto base = scalar(field, member(*prefix, "addr") ? *member(*prefix, "addr") : Json());
            if (!base || length == nullptr || !length->is_number_unsigned() || length->get<std::uint64_t>() > 32) {
                return std::nullopt;
            }
            const auto bits = static_cast<std::uint32_t>(length->get<std::uint64_t>());
            const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
            return Interval{*base & mask, (*base & mask) | ~mask};
        }
        if (const Json* range = member(value, "range")) {
            if (!range->is_array() || range->size() != 2) return std::nullopt;
            const auto low = scalar(field, (*range)[0]);
            const auto high = scalar(field, (*range)[1]);
            if (!low || !high) return std::nullopt;
            return Interval{*low, *high};
        }
        if (const auto single = scalar(field, value)) return Interval{*single, *single};
        return std::nullopt;
    }

    // The field a left-hand side reads, with the protocol it implies.
    struct Source {
        std::optional<Field> field;
        std::optional<std::uint32_t> protocol;  // a udp/tcp/icmp header field needs that protocol
        std::optional<std::string> always;      // a constant of every packet here (ip version 4)
    };

    static Source source(const Json& left) {
        if (const Json* meta = member(left, "meta")) {
            const std::string key = text(*meta, "key");
            if (key == "iifname" || key == "iif") return {Field::iifname, {}, {}};
            if (key == "l4proto") return {Field::l4proto, {}, {}};
            if (key == "pkttype") return {Field::pktType, {}, {}};
            if (key == "nfproto") return {{}, {}, "ipv4"};
            if (key == "protocol") return {{}, {}, "ip"};
            return {};
        }
        if (const Json* fib = member(left, "fib")) {
            // The destination's routing type, looked up alone or through
            // the incoming interface: the same for these packets.
            const Json* flags = member(*fib, "flags");
            const bool daddr = flags && flags->is_array() && !flags->empty() && (*flags)[0] == "daddr" &&
                               (flags->size() == 1 || (flags->size() == 2 && (*flags)[1] == "iif"));
            if (text(*fib, "result") == "type" && daddr) return {Field::dstType, {}, {}};
            return {};
        }
        if (const Json* ct = member(left, "ct")) {
            if (text(*ct, "key") == "state" && member(*ct, "dir") == nullptr) return {Field::ctState, {}, {}};
            return {};
        }
        const Json* payload = member(left, "payload");
        if (payload == nullptr) return {};
        const std::string protocol = text(*payload, "protocol");
        const std::string field = text(*payload, "field");
        if (protocol == "ip") {
            if (field == "saddr") return {Field::saddr, {}, {}};
            if (field == "daddr") return {Field::daddr, {}, {}};
            if (field == "protocol") return {Field::l4proto, {}, {}};
            if (field == "version") return {{}, {}, "4"};
            return {};
        }
        if (protocol == "icmp" && field == "type") return {Field::icmpType, 1, {}};
        if (field != "sport" && field != "dport") return {};
        const Field port = field == "sport" ? Field::sport : Field::dport;
        if (protocol == "th") return {port, {}, {}};
        if (const auto known = protocolNumber(protocol); known && *known != 1) return {port, known, {}};
        return {};
    }

    // One `match` statement as conditions; false when it is not understood.
    bool readMatch(const Json& match, std::vector<Match>& into) const {
        const Json* left = member(match, "left");
        const Json* right = member(match, "right");
        if (left == nullptr || right == nullptr) return false;
        const std::string op = text(match, "op");
        const Source from = source(*left);
        if (from.always) {
            if (op != "==" && op != "!=") return false;
            // Every packet here has it: matching it holds, or never does.
            const bool holds = right->is_string() && right->get<std::string>() == *from.always;
            if (holds == (op == "==")) return true;
            into.push_back({Field::l4proto, false, {}, {}, ""});  // no values: never
            return true;
        }
        if (!from.field) return false;
        Match result;
        result.field = *from.field;
        result.negated = op == "!=";
        const auto items = elements(*right);
        if (!items) return false;
        if (op == "==" || op == "!=" || op == "in") {
            for (const Json* item : *items) {
                if (result.field == Field::iifname) {
                    if (!item->is_string()) return false;
                    std::string name = item->get<std::string>();
                    // nft prints a literal star escaped; a bare one is a wildcard.
                    if (name.ends_with("\\*")) return false;
                    result.names.push_back(std::move(name));
                    continue;
                }
                const auto value = interval(result.field, *item);
                if (!value) return false;
                result.values.push_back(*value);
            }
        } else {
            if (items->size() != 1 || result.field == Field::iifname) return false;
            const auto bound = scalar(result.field, *items->front());
            if (!bound) return false;
            const std::uint32_t top = 0xffffffffU;
            if (op == "<" && *bound > 0) result.values.push_back({0, *bound - 1});
            else if (op == "<=") result.values.push_back({0, *bound});
            else if (op == ">" && *bound < top) result.values.push_back({*bound + 1, top});
            else if (op == ">=") result.values.push_back({*bound, top});
            else if (op != "<" && op != ">") return false;
        }
        if (from.protocol) into.push_back({Field::l4proto, false, {{*from.protocol, *from.protocol}}, {}, ""});
        into.push_back(std::move(result));
        return true;
    }

    static std::optional<Verdict> verdictOf(const Json& statement) {
        const std::string key = onlyKey(statement);
        if (key == "accept") return Verdict{Action::accept, ""};
        if (key == "drop" || key == "reject") return Verdict{Action::drop, ""};
        if (key == "continue") return Verdict{Action::next, ""};
        if (key == "return") return Verdict{Action::back, ""};
        if (key == "jump" || key == "goto") {
            return Verdict{key == "jump" ? Action::jump : Action::go,
                           text(*member(statement, key.c_str()), "target")};
        }
        if (key == "queue") return Verdict{Action::unknown, "it hands the packets to a program (queue)"};
        if (key == "dnat" || key == "snat" || key == "redirect" || key == "masquerade" ||
            key == "tproxy" || key == "fwd" || key == "synproxy") {
            return Verdict{Action::unknown, "it rewrites or redirects the packets (" + key + ")"};
        }
        if (key == "xt" && text(*member(statement, "xt"), "type") == "target") {
            return Verdict{Action::unknown, "an iptables target nft does not show"};
        }
        return std::nullopt;
    }

    void readMap(const Json& body, Rule& rule) const {
        const Json* key = member(body, "key");
        const Json* data = member(body, "data");
        const Source from = key ? source(*key) : Source{};
        const auto entries = data ? elements(*data) : std::nullopt;
        if (!from.field || from.protocol || !entries) {
            rule.matches.push_back(unknownMatch(rule.text));
            rule.branches.push_back({std::nullopt, {Action::unknown, "a verdict map the doctor does not read"}});
            return;
        }
        for (const Json* entry : *entries) {
            std::optional<Verdict> verdict;
            std::vector<Match> keys;
            if (entry->is_array() && entry->size() == 2) {
                verdict = verdictOf((*entry)[1]);
                const Json match{{"op", "=="}, {"left", *key}, {"right", (*entry)[0]}};
                if (!readMatch(match, keys) || keys.size() != 1) verdict.reset();
            }
            if (!verdict) {
                Match unknown;
                unknown.unknown = rule.text;
                keys = {unknown};
                verdict = Verdict{Action::unknown, "a verdict map entry the doctor does not read"};
            }
            rule.branches.push_back({keys.front(), *verdict});
        }
    }

    Rule readRule(const Json& object) const {
        Rule rule;
        rule.handle = text(object, "handle");
        const Json* expressions = member(object, "expr");
        std::string words;
        if (expressions != nullptr && expressions->is_array()) {
            for (const Json& statement : *expressions) {
                if (onlyKey(statement).empty()) {
                    words += (words.empty() ? "" : " ") + statement.dump();
                    continue;
                }
                words += (words.empty() ? "" : " ") + renderStatement(statement);
            }
        }
        rule.text = words;
        if (const std::string comment = text(object, "comment"); !comment.empty()) {
            rule.text += " comment \"" + comment + "\"";
        }
        if (expressions == nullptr || !expressions->is_array()) {
            rule.matches.push_back(unknownMatch(rule.text));
            rule.branches.push_back({std::nullopt, {Action::unknown, "a rule the doctor cannot read"}});
            return rule;
        }
        for (const Json& statement : *expressions) {
            const std::string key = onlyKey(statement);
            if (key.empty()) {
                rule.matches.push_back(unknownMatch(statement.dump()));
                continue;
            }
            const Json& body = *member(statement, key.c_str());
            if (key == "match") {
                if (!readMatch(body, rule.matches)) {
                    rule.matches.push_back(unknownMatch(renderMatch(body)));
                }
            } else if (key == "vmap") {
                readMap(body, rule);
            } else if (const auto verdict = verdictOf(statement)) {
                rule.branches.push_back({std::nullopt, *verdict});
            } else if (key == "counter" || key == "log" || key == "mangle" || key == "notrack" ||
                       key == "set" || key == "dup") {
                // Counts, logs or marks, and lets the packet go on.
            } else {
                // limit, quota and whatever else may stop the rule from matching.
                rule.matches.push_back(unknownMatch(renderStatement(statement)));
            }
        }
        // Only the first verdict of a rule is ever reached.
        if (rule.branches.size() > 1 && !rule.branches.front().key) rule.branches.resize(1);
        return rule;
    }

    const std::vector<Json>& objects_;
    std::map<Place, const Json*> sets_;
    std::string family_, table_;
};

}  // namespace

RuleSet readNftablesJson(std::string_view json) {
    const Json document = Json::parse(json.begin(), json.end(), nullptr, false);
    const Json* objects = member(document, "nftables");
    if (document.is_discarded() || objects == nullptr || !objects->is_array()) {
        RuleSet unreadable;
        unreadable.unreadable = "its listing is not the JSON nft -j prints";
        return unreadable;
    }
    const std::vector<Json> list(objects->begin(), objects->end());
    return Reader(list).read();
}

}  // namespace tamro::cli::firewall
