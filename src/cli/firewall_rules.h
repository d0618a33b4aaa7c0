#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A firewall's rules as the kernel walks them, read from either listing tool,
// and the walk itself: what happens to one packet in one base chain.
namespace tamro::cli::firewall {

struct Interval {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
using Values = std::vector<Interval>;

// Connection-tracking states, as the bits both tools use.
inline constexpr std::uint32_t ctInvalid = 1;
inline constexpr std::uint32_t ctEstablished = 2;
inline constexpr std::uint32_t ctRelated = 4;
inline constexpr std::uint32_t ctNew = 8;
inline constexpr std::uint32_t ctUntracked = 64;

// Link-layer packet types.
inline constexpr std::uint32_t pktHost = 0;
inline constexpr std::uint32_t pktBroadcast = 1;

// Routing types of the destination address, as the kernel numbers them.
inline constexpr std::uint32_t addrUnicast = 1;
inline constexpr std::uint32_t addrLocal = 2;
inline constexpr std::uint32_t addrBroadcast = 3;
inline constexpr std::uint32_t addrMulticast = 5;

enum class Field { iifname, saddr, daddr, l4proto, sport, dport, icmpType, ctState, pktType, dstType };

// One condition of a rule. `unknown` names a condition this reader does not
// evaluate; such a rule may or may not match.
struct Match {
    Field field = Field::saddr;
    bool negated = false;
    Values values;                   // numeric fields
    std::vector<std::string> names;  // iifname; a trailing '*' matches any ending
    std::string unknown;
};

// A condition not evaluated, described by `what` (never empty).
inline Match unknownMatch(std::string what) {
    Match match;
    match.unknown = what.empty() ? "a condition not read" : std::move(what);
    return match;
}

enum class Action { next, accept, drop, jump, go, back, unknown };

struct Verdict {
    Action action = Action::next;
    std::string target;  // the chain of a jump or goto; what it is, for unknown
};

// A verdict, taken when `key` matches (a verdict map's entry) or always.
struct Branch {
    std::optional<Match> key;
    Verdict verdict;
};

struct Rule {
    std::vector<Match> matches;
    std::vector<Branch> branches;  // none: the walk goes on to the next rule
    std::string text;              // as its tool would print it
    std::string handle;            // nftables' own number for it
    std::vector<std::string> ruleWords;  // iptables: the words after -A CHAIN
};

enum class Hook { none, ingress, prerouting, input, other };

struct Chain {
    std::string name;
    Hook hook = Hook::none;  // none: reached only by jump or goto
    std::int64_t priority = 0;
    std::string type = "filter";
    bool policyDrop = false;
    bool deviceKnown = true;          // ingress: whether `devices` was listed
    std::vector<std::string> devices;  // ingress: the interfaces it sees
    std::vector<Rule> rules;
};

struct Table {
    std::string family;  // ip, inet, netdev, ... ; iptables: ip
    std::string name;
    std::vector<Chain> chains;
};

struct RuleSet {
    std::vector<Table> tables;
    std::string unreadable;  // why the listing could not be read, when it could not
};

// One kind of packet the search depends on. Address and port fields are sets
// of values, so that a rule covering part of them is told apart.
struct Packet {
    std::string iifname;
    Values saddr;
    Values daddr;
    std::uint32_t l4proto = 17;
    Values sport;  // empty for ICMP
    Values dport;
    std::optional<std::uint32_t> icmpType;
    std::uint32_t ctState = ctNew;
    std::uint32_t pktType = pktHost;
    std::uint32_t dstType = addrLocal;
};

enum class Outcome {
    dropped,   // on every path
    partly,    // for part of the addresses or ports, as far as is known
    unsure,    // depends on something not evaluated
};

struct ChainVerdict {
    Outcome outcome = Outcome::dropped;
    const Chain* chain = nullptr;  // where the deciding rule is
    const Rule* rule = nullptr;    // nothing: the base chain's policy
    std::string doubt;             // what `partly` or `unsure` hangs on
};

// Walks `base` (a base chain of `table`) for `packet` as the kernel would:
// where it may end other than accepted, each place once; nothing when it
// is accepted on every path. Conditions not evaluated, and matches on part
// of a field's values, are followed both ways; the walk is bounded whatever
// the listing holds.
std::vector<ChainVerdict> evaluateChain(const Table& table, const Chain& base, const Packet& packet);

// Readers: never throw; what they cannot read is in `unreadable` or in the
// rules' unknown matches.
RuleSet readNftablesJson(std::string_view json);

// iptables-save output. `nfTables` is set when its header says the rules
// live in nftables (then nft lists the same tables too).
RuleSet readIptablesSave(std::string_view text, bool* nfTables = nullptr);

// Number helpers shared by the readers.
std::optional<std::uint32_t> protocolNumber(std::string_view name);
std::optional<std::uint32_t> icmpTypeNumber(std::string_view name);
std::optional<std::uint32_t> ctStateBit(std::string_view name);

}  // namespace tamro::cli::firewall
