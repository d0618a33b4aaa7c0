#include <algorithm>
#include <cctype>
#include <utility>

#include "firewall_rules.h"

namespace tamro::cli::firewall {

namespace {

// How a condition meets a packet whose fields may hold many values.
enum class Fit { none, all, some, unknown };

// nftables refuses jumps nested deeper than this; a listing claiming more is
// not what the kernel runs.
constexpr std::size_t maxJumpDepth = 16;
// Rules visited over all paths of one walk; a listing built to branch without
// end stops here, as unsure.
constexpr std::int32_t maxSteps = 4000;
constexpr std::int32_t maxGotos = 64;

Values merged(Values values) {
    std::sort(values.begin(), values.end(),
              [](const Interval& a, const Interval& b) { return a.low < b.low; });
    Values result;
    for (const Interval& value : values) {
        if (value.low > value.high) continue;
        if (!result.empty() && std::uint64_t{value.low} <= std::uint64_t{result.back().high} + 1) {
            result.back().high = std::max(result.back().high, value.high);
        } else {
            result.push_back(value);
        }
    }
    return result;
}

Fit fitValues(const Values& packet, const Values& match) {
    if (packet.empty()) return Fit::unknown;
    const Values wanted = merged(match);
    std::uint64_t total = 0;
    std::uint64_t covered = 0;
    for (const Interval& p : merged(packet)) {
        total += std::uint64_t{p.high} - p.low + 1;
        for (const Interval& m : wanted) {
            const std::uint32_t low = std::max(p.low, m.low);
            const std::uint32_t high = std::min(p.high, m.high);
            if (low <= high) covered += std::uint64_t{high} - low + 1;
        }
    }
    if (covered == 0) return Fit::none;
    return covered == total ? Fit::all : Fit::some;
}

bool nameMatches(const std::string& pattern, const std::string& name) {
    if (!pattern.empty() && pattern.back() == '*') {
        return name.starts_with(std::string_view(pattern).substr(0, pattern.size() - 1));
    }
    return pattern == name;
}

Values one(std::uint32_t value) { return {{value, value}}; }

Fit negate(Fit fit, bool negated) {
    if (!negated) return fit;
    if (fit == Fit::all) return Fit::none;
    if (fit == Fit::none) return Fit::all;
    return fit;
}

// What a rule's outcome hangs on: its first condition not evaluated, else the rule.
const std::string& doubtOf(const Rule& rule) {
    for (const Match& match : rule.matches) {
        if (!match.unknown.empty()) return match.unknown;
    }
    return rule.text;
}

struct Flags {
    bool some = false;
    bool unknown = false;
    std::string someDoubt;
    std::string unknownDoubt;

    void add(Fit fit, const std::string& why) {
        if (fit == Fit::some) {
            some = true;
            if (someDoubt.empty()) someDoubt = why;
        } else if (fit == Fit::unknown) {
            unknown = true;
            if (unknownDoubt.empty()) unknownDoubt = why;
        }
    }
};

struct Ending {
    Action action = Action::accept;  // accept, drop or unknown
    const Chain* chain = nullptr;
    const Rule* rule = nullptr;
    std::string why;  // for unknown
    Flags flags;
};

struct State {
    const Chain* chain = nullptr;
    std::size_t index = 0;
    std::vector<std::pair<const Chain*, std::size_t>> stack;
    std::int32_t gotos = 0;
    Flags flags;
};

class Walker {
public:
    Walker(const Table& table, const Chain& base, const Packet& packet, bool ctKnown)
        : table_(table), base_(base), packet_(packet), ctKnown_(ctKnown) {}

    std::vector<Ending> run() {
        State start;
        start.chain = &base_;
        walk(std::move(start));
        return std::move(endings_);
    }

private:
    Fit fit(const Match& match) const {
        if (!match.unknown.empty()) return Fit::unknown;
        Fit result = Fit::unknown;
        switch (match.field) {
            case Field::iifname: {
                if (packet_.iifname.empty()) break;
                const bool any = std::any_of(match.names.begin(), match.names.end(),
                                             [&](const std::string& pattern) {
                                                 return nameMatches(pattern, packet_.iifname);
                                             });
                result = any ? Fit::all : Fit::none;
                break;
            }
            case Field::saddr: result = fitValues(packet_.saddr, match.values); break;
            case Field::daddr: result = fitValues(packet_.daddr, match.values); break;
            case Field::sport: result = fitValues(packet_.sport, match.values); break;
            case Field::dport: result = fitValues(packet_.dport, match.values); break;
            case Field::l4proto: result = fitValues(one(packet_.l4proto), match.values); break;
            case Field::pktType: result = fitValues(one(packet_.pktType), match.values); break;
            case Field::dstType: result = fitValues(one(packet_.dstType), match.values); break;
            case Field::icmpType:
                if (packet_.icmpType) result = fitValues(one(*packet_.icmpType), match.values);
                break;
            case Field::ctState:
                if (ctKnown_) result = fitValues(one(packet_.ctState), match.values);
                break;
        }
        return negate(result, match.negated);
    }

    Fit fit(const Rule& rule) const {
        Fit result = Fit::all;
        for (const Match& match : rule.matches) {
            const Fit one = fit(match);
            if (one == Fit::none) return Fit::none;
            if (one == Fit::unknown) result = Fit::unknown;
            else if (one == Fit::some && result == Fit::all) result = Fit::some;
        }
        return result;
    }

    const Chain* find(const std::string& name) const {
        for (const Chain& chain : table_.chains) {
            if (chain.name == name) return &chain;
        }
        return nullptr;
    }

    void end(const State& state, Action action, const Rule* rule, std::string why = {}) {
        endings_.push_back({action, state.chain, rule, std::move(why), state.flags});
    }

    // Leaves the current chain: back to the jump that entered it, or the
    // base chain's policy. False when the walk ended.
    bool leave(State& state) {
        if (state.stack.empty()) {
            state.chain = &base_;
            end(state, base_.policyDrop ? Action::drop : Action::accept, nullptr);
            return false;
        }
        state.chain = state.stack.back().first;
        state.index = state.stack.back().second;
        state.stack.pop_back();
        return true;
    }

    // Applies `verdict` of the rule at state.index; false when the walk ended.
    bool apply(State& state, const Verdict& verdict, const Rule& rule) {
        switch (verdict.action) {
            case Action::accept:
            case Action::drop: end(state, verdict.action, &rule); return false;
            case Action::unknown: end(state, Action::unknown, &rule, verdict.target); return false;
            case Action::next: ++state.index; return true;
            case Action::back: return leave(state);
            case Action::jump:
            case Action::go: break;
        }
        const Chain* target = find(verdict.target);
        if (target == nullptr || target->hook != Hook::none) {
            end(state, Action::unknown, &rule, "it jumps to a chain not in the listing");
            return false;
        }
        if (verdict.action == Action::jump) {
            if (state.stack.size() >= maxJumpDepth) {
                end(state, Action::unknown, &rule, "its jumps nest deeper than the kernel allows");
                return false;
            }
            state.stack.emplace_back(state.chain, state.index + 1);
        } else if (++state.gotos > maxGotos) {
            end(state, Action::unknown, &rule, "its gotos go round in a loop");
            return false;
        }
        state.chain = target;
        state.index = 0;
        return true;
    }

    void walk(State state) {
        while (true) {
            if (++steps_ > maxSteps) {
                end(state, Action::unknown, nullptr, "the rules branch more than the doctor follows");
                return;
            }
            if (state.index >= state.chain->rules.size()) {
                if (!leave(state)) return;
                continue;
            }
            const Rule& rule = state.chain->rules[state.index];
            const Fit matched = fit(rule);
            if (matched == Fit::none || rule.branches.empty()) {
                ++state.index;
                continue;
            }
            if (matched != Fit::all) {
                // Follow the packets the rule does not take, then those it
                // does. Past a rule that would drop them, what the rule
                // hangs on no longer matters: dropped there or walked on.
                State skipped = state;
                const bool drops = rule.branches.size() == 1 && !rule.branches.front().key &&
                                   rule.branches.front().verdict.action == Action::drop;
                if (!drops) skipped.flags.add(matched, doubtOf(rule));
                ++skipped.index;
                walk(std::move(skipped));
                state.flags.add(matched, doubtOf(rule));
            }
            bool decided = false;
            for (const Branch& branch : rule.branches) {
                const Fit key = branch.key ? fit(*branch.key) : Fit::all;
                if (key == Fit::none) continue;
                if (key == Fit::all) {
                    decided = true;
                    if (!apply(state, branch.verdict, rule)) return;
                    break;
                }
                State taken = state;
                taken.flags.add(key, doubtOf(rule));
                if (apply(taken, branch.verdict, rule)) walk(std::move(taken));
                if (branch.verdict.action != Action::drop) state.flags.add(key, doubtOf(rule));
            }
            if (!decided) ++state.index;
        }
    }

    const Table& table_;
    const Chain& base_;
    const Packet& packet_;
    bool ctKnown_;
    std::int32_t steps_ = 0;
    std::vector<Ending> endings_;
};

ChainVerdict verdictOf(const Ending& ending, Outcome outcome, std::string doubt) {
    return {outcome, ending.chain, ending.rule, std::move(doubt)};
}

}  // namespace

std::vector<ChainVerdict> evaluateChain(const Table& table, const Chain& base, const Packet& packet) {
    // NAT chains see only a connection's first packet.
    if (base.type == "nat" && packet.ctState != ctNew) return {};
    const bool ingress = base.hook == Hook::ingress;
    if (ingress && base.deviceKnown &&
        std::none_of(base.devices.begin(), base.devices.end(),
                     [&](const std::string& device) { return nameMatches(device, packet.iifname); })) {
        return {};
    }
    // Before conntrack has seen the packet (priority -200) its state is not
    // what the packet is; a rule on it is not evaluated there.
    const bool ctKnown = !ingress && !(base.hook == Hook::prerouting && base.priority < -200);
    const std::vector<Ending> endings = Walker(table, base, packet, ctKnown).run();

    const auto dropping = [](const Ending& ending) { return ending.action == Action::drop; };
    std::vector<ChainVerdict> result;
    if (std::all_of(endings.begin(), endings.end(), dropping)) {
        result.push_back(verdictOf(endings.front(), Outcome::dropped, ""));
    } else {
        // Each place a path may end other than accepted, once: dropped for
        // part of the packets where nothing unevaluated led there.
        for (const Ending& ending : endings) {
            if (ending.action == Action::accept) continue;
            ChainVerdict verdict;
            if (dropping(ending) && !ending.flags.unknown) {
                verdict = verdictOf(ending, Outcome::partly, ending.flags.someDoubt);
            } else {
                std::string doubt = ending.action == Action::unknown ? ending.why : ending.flags.unknownDoubt;
                if (doubt.empty() && ending.rule != nullptr) doubt = ending.rule->text;
                verdict = verdictOf(ending, Outcome::unsure, doubt);
            }
            const auto same = std::find_if(result.begin(), result.end(), [&](const ChainVerdict& known) {
                return known.chain == verdict.chain && known.rule == verdict.rule;
            });
            if (same == result.end()) result.push_back(std::move(verdict));
            else if (verdict.outcome == Outcome::partly && same->outcome == Outcome::unsure) *same = std::move(verdict);
        }
    }
    if (ingress && !base.deviceKnown) {
        for (ChainVerdict& verdict : result) {
            verdict.outcome = Outcome::unsure;
            verdict.doubt = "the listing does not say which interface the chain is on";
        }
    }
    return result;
}

namespace {

template <std::size_t N>
std::optional<std::uint32_t> lookUp(const std::pair<std::string_view, std::uint32_t> (&names)[N],
                                     std::string_view name) {
    for (const auto& [known, number] : names) {
        if (known == name) return number;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> protocolNumber(std::string_view name) {
    static constexpr std::pair<std::string_view, std::uint32_t> names[] = {
        {"icmp", 1}, {"igmp", 2}, {"tcp", 6}, {"udp", 17}, {"gre", 47}, {"esp", 50},
        {"ah", 51}, {"sctp", 132}, {"udplite", 136}, {"dccp", 33}};
    return lookUp(names, name);
}

std::optional<std::uint32_t> icmpTypeNumber(std::string_view name) {
    static constexpr std::pair<std::string_view, std::uint32_t> names[] = {
        {"echo-reply", 0}, {"destination-unreachable", 3}, {"source-quench", 4},
        {"redirect", 5}, {"echo-request", 8}, {"router-advertisement", 9},
        {"router-solicitation", 10}, {"time-exceeded", 11}, {"parameter-problem", 12},
        {"timestamp-request", 13}, {"timestamp-reply", 14}};
    return lookUp(names, name);
}

std::optional<std::uint32_t> ctStateBit(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static constexpr std::pair<std::string_view, std::uint32_t> names[] = {
        {"invalid", ctInvalid}, {"established", ctEstablished}, {"related", ctRelated},
        {"new", ctNew}, {"untracked", ctUntracked}};
    return lookUp(names, lower);
}

}  // namespace tamro::cli::firewall
