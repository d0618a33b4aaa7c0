#include "doctor_command.h"

#include <algorithm>
#include <bit>
#include <iostream>
#include <memory>

#include "adapter_choice.h"
#include "dialog_session.h"
#include "doctor_firewall.h"
#include "hostnet/subnet.h"
#include "platform/ipv4.h"
#include "protocol/address_conflicts.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"

namespace tamro::cli {

namespace {

const std::string port = std::to_string(devicePort);

std::int32_t prefixLength(const Ipv4& mask) {
    std::int32_t bits = 0;
    for (const std::uint8_t byte : mask.bytes) bits += std::popcount(byte);
    return bits;
}

Ipv4 networkOf(const Ipv4& address, const Ipv4& mask) {
    Ipv4 network;
    for (std::size_t i = 0; i < 4; ++i) network.bytes[i] = address.bytes[i] & mask.bytes[i];
    return network;
}

bool isLoopback(const InterfaceRow& row, const std::vector<const AddressRow*>& own) {
    if (row.description == "lo") return true;
    return std::any_of(own.begin(), own.end(), [](const AddressRow* address) {
        return address->address.bytes[0] == 127;
    });
}

void print(const std::vector<Finding>& findings, std::ostream& out) {
    for (const Finding& finding : findings) {
        out << findingTag(finding) << finding.what << '\n';
        if (!finding.why.empty()) out << "    why: " << finding.why << '\n';
        if (!finding.fix.empty()) out << "    fix: " << finding.fix << '\n';
    }
}

}  // namespace

std::string_view findingTag(const Finding& finding) {
    if (finding.problem) return "[problem] ";
    switch (finding.standing) {
        case Standing::skipped: return "[skipped] ";
        case Standing::info: return "[info] ";
        case Standing::unsure: return "[unsure] ";
        case Standing::checked: break;
    }
    return "[ok] ";
}

std::vector<Finding> interfaceFindings(const std::vector<InterfaceRow>& interfaces,
                                       const std::vector<AddressRow>& addresses,
                                       std::optional<std::uint32_t> chosen) {
    std::vector<Finding> findings;
    for (const InterfaceRow& row : interfaces) {
        std::vector<const AddressRow*> own;
        for (const AddressRow& address : addresses) {
            if (address.interfaceIndex == row.index) own.push_back(&address);
        }
        const std::vector<UnusableReason> reasons = reasonsUnusable(row, !own.empty());
        // Some systems give an address no interface name of its own: the
        // interface's description is what `adapters` shows then.
        std::string name = !own.empty() && !own.front()->interfaceName.empty()
                               ? own.front()->interfaceName
                               : row.description;
        if (name.empty() || name.front() == '\0') name = "with index " + std::to_string(row.index);
        if (reasons.empty()) {
            std::string list;
            for (const AddressRow* address : own) {
                list += (list.empty() ? "" : ", ") + toDottedText(address->address) + "/" +
                        std::to_string(prefixLength(address->mask));
            }
            findings.push_back({false, "interface " + name + " is a usable adapter: " + list, "", ""});
            continue;
        }
        const auto has = [&](UnusableReason reason) {
            return std::find(reasons.begin(), reasons.end(), reason) != reasons.end();
        };
        // Loopback is never an adapter, up or down; saying so is noise.
        if (isLoopback(row, own)) continue;
        std::string why;
        for (const UnusableReason reason : reasons) {
            why += (why.empty() ? "" : ", ") + std::string(unusableReasonText(reason));
        }
        // A link without a hardware address (a VPN tunnel) is no adapter by
        // nature, and beside a chosen adapter the others do not matter: both
        // are worth knowing, neither is a problem to fix.
        if (has(UnusableReason::noHardwareAddress) || (chosen && *chosen != row.index)) {
            Finding note{false, "interface " + name + " is not a usable adapter: " + why, "", ""};
            note.standing = Standing::info;
            findings.push_back(std::move(note));
            continue;
        }
        std::string fix;
        if (has(UnusableReason::down)) fix = "ip link set " + name + " up (and check its cable)";
        else if (has(UnusableReason::noAddress)) {
            fix = "ip address add ADDRESS/PREFIX dev " + name + " (an address on the devices' subnet)";
        }
        findings.push_back({true, "interface " + name + " is not a usable adapter: " + why,
                            "the search runs only on adapters that are up, with a hardware "
                            "address, an IPv4 address and a description",
                            fix});
    }
    return findings;
}

std::vector<Finding> sharedSubnetFindings(const AdapterTable& adapters) {
    std::vector<Finding> findings;
    const std::int32_t count = std::min<std::int32_t>(adapters.adapterCount, 256);
    for (std::int32_t a = 0; a < count; ++a) {
        const AdapterRecord& one = adapters.adapters[static_cast<std::size_t>(a)];
        for (std::int32_t b = a + 1; b < count; ++b) {
            const AdapterRecord& other = adapters.adapters[static_cast<std::size_t>(b)];
            if (adapterInterfaceName(one) == adapterInterfaceName(other)) continue;
            // The wider mask decides whether the two subnets meet.
            const Ipv4& wider = prefixLength(one.mask) <= prefixLength(other.mask) ? one.mask : other.mask;
            if (networkOf(one.address, wider) != networkOf(other.address, wider)) continue;
            findings.push_back(
                {true, "adapters " + adapterEntryText(one) + " and " + adapterEntryText(other) +
                           " are on the same subnet",
                 "replies to one may arrive through the other, and the system may send the "
                 "reads out of either: a search can miss devices or list them on the wrong adapter",
                 "ip address del " + toDottedText(other.address) + "/" +
                     std::to_string(prefixLength(other.mask)) + " dev " +
                     std::string(adapterInterfaceName(other)) + " (or unplug one)"});
        }
    }
    return findings;
}

namespace {

// Whether a route reaches past the adapter's own subnet: the subnet's
// route brings back nothing from outside it.
bool leadsOutside(const RouteEntry& route, const Ipv4& address, const Ipv4& mask) {
    return prefixLength(route.mask) < prefixLength(mask) ||
           networkOf(route.destination, mask) != networkOf(address, mask);
}

std::string rangeText(const RouteEntry& route) {
    return toDottedText(networkOf(route.destination, route.mask)) + "/" +
           std::to_string(prefixLength(route.mask));
}

}  // namespace

std::vector<Finding> reversePathFindings(const std::string& interfaceName,
                                         const ReversePathSettings& settings,
                                         const std::optional<std::vector<RouteEntry>>& routes,
                                         const Ipv4& address, const Ipv4& mask) {
    if (!settings.all && !settings.own) return {};
    const std::int32_t all = settings.all.value_or(0);
    // The kernel applies the larger of the two.
    const std::int32_t level = std::max(all, settings.own.value_or(0));
    const std::string on = "reverse-path filtering on " + interfaceName;
    if (level == 0) return {{false, on + " is off", "", ""}};
    const bool strict = level == 1;
    const std::string mode = strict ? "strict" : "loose";
    if (!routes) {
        Finding unread{false,
                       on + " is " + mode + ", but the routes could not be read: whether replies "
                                            "from outside the subnet come back was not checked",
                       "", ""};
        unread.standing = Standing::skipped;
        return {unread};
    }
    // Strict filtering wants the route back to leave through the interface
    // the reply came in on; loose, any route back at all.
    std::vector<const RouteEntry*> back;
    for (const RouteEntry& route : *routes) {
        if (strict && route.interfaceName != interfaceName) continue;
        if (leadsOutside(route, address, mask)) back.push_back(&route);
    }
    const bool viaDefault = std::any_of(back.begin(), back.end(), [](const RouteEntry* route) {
        return prefixLength(route->mask) == 0;
    });
    if (viaDefault) {
        return {{false,
                 on + " is " + mode +
                     (strict ? " and the default route leads back through " + interfaceName
                             : " and a default route leads back"),
                 "", ""}};
    }
    if (!back.empty()) {
        std::string ranges;
        for (const RouteEntry* route : back) ranges += (ranges.empty() ? "" : ", ") + rangeText(*route);
        return {{false,
                 on + " is " + mode + "; outside the subnet, replies come back only from " +
                     ranges + (strict ? " (routed through " + interfaceName + ")" : ""),
                 "", ""}};
    }
    const std::string sysctl =
        all == 0 ? "sysctl -w net.ipv4.conf." + interfaceName + ".rp_filter=0"
                 : "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." + interfaceName +
                       ".rp_filter=0";
    return {{true,
             mode + " reverse-path filtering on " + interfaceName + " (rp_filter " +
                 std::to_string(level) + ") and no route back" +
                 (strict ? " through " + interfaceName : " (no default route)"),
             "a device outside the adapter's subnet answers from an address the host has no "
             "route to" + std::string(strict ? " through this adapter" : "") +
                 "; its replies are dropped without a trace, so it is never listed and cannot be "
                 "given an address (DEVICE_RANGE/PREFIX: the addresses the devices answer from)",
             "ip route add DEVICE_RANGE/PREFIX dev " + interfaceName + ", or " + sysctl}};
}

std::vector<Finding> portFindings(const std::vector<PortHolder>& holders, const Ipv4& adapter) {
    std::vector<PortHolder> blocking;
    for (const PortHolder& holder : holders) {
        if (holder.address == adapter || holder.address == Ipv4{}) blocking.push_back(holder);
    }
    if (blocking.empty()) {
        return {{false, "UDP port " + port + " is free on " + toDottedText(adapter), "", ""}};
    }
    std::vector<Finding> findings;
    for (const PortHolder& holder : blocking) {
        const std::string who = holder.processId >= 0
                                    ? "process " + std::to_string(holder.processId) +
                                          (holder.program.empty() ? "" : " (" + holder.program + ")")
                                    : "a process the system does not name";
        findings.push_back(
            {true, "UDP port " + port + " is taken on " + toDottedText(holder.address) + " by " + who,
             "the search receives the replies on this port; while it is taken the search "
             "fails with 通信エラー",
             holder.processId >= 0 ? "end it: kill " + std::to_string(holder.processId)
                                   : "end the program that listens on UDP port " + port});
    }
    return findings;
}

std::vector<Finding> echoFindings(const EchoSocketCheck& check) {
    if (check.datagram) return {{false, "the ICMP probe may open its socket", "", ""}};
    if (check.raw) return {{false, "the ICMP probe may open a raw socket", "", ""}};
    return {{true,
             "the ICMP probe cannot open a socket (unprivileged range: " +
                 (check.groupRange.empty() ? std::string("unknown") : check.groupRange) + ")",
             "PING送信 and ping cannot tell whether an address is free before it is given",
             check.fix}};
}

std::vector<Finding> searchFindings(const DeviceTable& devices, std::int32_t count,
                                    const AdapterRecord& adapter,
                                    const std::vector<DroppedDevice>& dropped) {
    std::vector<Finding> findings;
    for (const DroppedDevice& device : dropped) {
        findings.push_back(
            {true,
             macText(device.mac) + " / " + toDottedText(device.address) +
                 " answered the search but its settings could not be read; it is not listed",
             "a device that answers discovery but not the block reads: busy, restarting, "
             "another kind of device, or the reads' replies blocked on the way back",
             "search again; if it stays unread, check the device and the firewall findings above"});
    }
    count = std::min(count, maxDevices);
    const auto at = [&](std::int32_t i) -> const DeviceRecord& {
        return devices.devices[static_cast<std::size_t>(i)];
    };
    for (std::int32_t a = 0; a < count; ++a) {
        for (std::int32_t b = a + 1; b < count; ++b) {
            const std::string pair = deviceListEntry(at(a)) + " and " + deviceListEntry(at(b));
            if (at(a).peer.address == at(b).peer.address) {
                findings.push_back({true, pair + " answer from the same address",
                                    "the reads and a write by address reach whichever answers "
                                    "first; only an assignment by MAC reaches the one meant",
                                    "tamroctl ping FREE_ADDRESS, then tamroctl assign " +
                                        macText(at(b).mac) + " FREE_ADDRESS"});
            }
            if (at(a).mac == at(b).mac) {
                findings.push_back({true, pair + " carry the same MAC address",
                                    "a cloned MAC: name them by \"MAC / IP\"; an address "
                                    "assignment would restart both",
                                    "give one of them a MAC address of its own"});
            } else if (at(a).mac[4] == at(b).mac[4] && at(a).mac[5] == at(b).mac[5]) {
                findings.push_back({true, pair + " end in the same two MAC bytes",
                                    "the address assignment names a device by those two bytes: "
                                    "both would take the address",
                                    "give one of them an address on the subnet while the other "
                                    "is unplugged"});
            }
        }
        // Unread for sharing its address: the finding above gives the fix.
        if (at(a).configured != 1 && devicesSharingAddress(devices, count, a).empty()) {
            findings.push_back(
                {true, deviceListEntry(at(a)) + " is outside the adapter's subnet " +
                           toDottedText(networkOf(adapter.address, adapter.mask)) + "/" +
                           std::to_string(prefixLength(adapter.mask)),
                 "its settings cannot be read until it has an address on the subnet",
                 "tamroctl ping FREE_ADDRESS, then tamroctl write " + macText(at(a).mac) +
                     " --ip FREE_ADDRESS --yes"});
        }
    }
    if (findings.empty()) {
        findings.push_back({false, std::to_string(count) + " device" + (count == 1 ? "" : "s") +
                                       " listed, with distinct addresses and MAC endings",
                            "", ""});
    }
    return findings;
}

namespace {

struct DoctorOptions {
    std::string adapter;
    bool search = false;
};

int runDoctor(const DoctorOptions& options) {
    std::vector<Finding> findings;
    const auto interfaces = readInterfaceRows();
    const auto addresses = readAddressRows();
    auto adapters = std::make_unique<AdapterTable>();
    buildAdapterTable(interfaces, addresses, *adapters);
    std::string error;
    const std::int32_t position = chooseAdapter(*adapters, options.adapter, error);
    const AdapterRecord* adapter =
        position < 0 ? nullptr : &adapters->adapters[static_cast<std::size_t>(position)];

    // Only an adapter named on the command line makes the others beside the point.
    std::optional<std::uint32_t> chosen;
    if (adapter != nullptr && !options.adapter.empty() && addresses) {
        for (const AddressRow& row : *addresses) {
            if (row.address == adapter->address) chosen = row.interfaceIndex;
        }
    }
    if (interfaces && addresses) {
        const auto more = interfaceFindings(*interfaces, *addresses, chosen);
        findings.insert(findings.end(), more.begin(), more.end());
    } else {
        findings.push_back({true, "the system did not list its interfaces", "", ""});
    }
    const auto shared = sharedSubnetFindings(*adapters);
    findings.insert(findings.end(), shared.begin(), shared.end());

    if (adapter == nullptr) {
        findings.push_back({true, "no adapter to check: " + error,
                            "the search needs an adapter on the devices' segment", ""});
    } else {
        std::cout << "checking " << adapterEntryText(*adapter) << '\n';
        const std::string name(adapterInterfaceName(*adapter));
        for (auto&& more : {reversePathFindings(name, reversePathSettings(name), ipv4Routes(),
                                                adapter->address, adapter->mask),
                            portFindings(udpPortHolders(devicePort), adapter->address)}) {
            findings.insert(findings.end(), more.begin(), more.end());
        }
    }
    const std::vector<FirewallListing> listings = firewallListings();
    if (adapter != nullptr) {
        const auto more = firewallFindings(
            listings, {std::string(adapterInterfaceName(*adapter)), adapter->address, adapter->mask});
        findings.insert(findings.end(), more.begin(), more.end());
    } else if (!listings.empty()) {
        // The rules are walked for one adapter's packets.
        Finding skipped{false, "the firewall's rules: not evaluated without an adapter", "", ""};
        skipped.standing = Standing::skipped;
        findings.push_back(std::move(skipped));
    }
    const auto echo = echoFindings(checkEchoSocket());
    findings.insert(findings.end(), echo.begin(), echo.end());
    for (const std::string& note : hostChecksNotMade()) {
        Finding skipped{false, note, "", ""};
        skipped.standing = Standing::skipped;
        findings.push_back(std::move(skipped));
    }

    if (options.search && adapter != nullptr) {
        std::cerr << "searching on " << adapterEntryText(*adapter) << " ...\n";
        DeviceTable& table = processDeviceTable();
        std::vector<DroppedDevice> dropped;
        SearchObserver observer;
        observer.dropped = &dropped;
        const std::int32_t count = searchDevices(
            table, SearchAdapter{adapter->address, adapter->mask, adapterInterfaceName(*adapter)},
            observer);
        if (count < 0) {
            findings.push_back({true, "the search failed (通信エラー)",
                                "see the port and firewall findings above", ""});
        } else {
            const auto more = searchFindings(table, count, *adapter, dropped);
            findings.insert(findings.end(), more.begin(), more.end());
        }
    }
    print(findings, std::cout);
    const bool clean = std::none_of(findings.begin(), findings.end(),
                                    [](const Finding& finding) { return finding.problem; });
    return clean ? 0 : 1;
}

}  // namespace

void addDoctorCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DoctorOptions>();
    CLI::App* doctor = app.add_subcommand(
        "doctor",
        "Check the host for what keeps a search from finding devices (sends nothing; --search "
        "searches).");
    doctor->add_option("--adapter", options->adapter,
                       "The adapter to check: its address, interface name or list position");
    doctor->add_flag("--search", options->search,
                     "Also search the adapter's segment (this sends) and check the answers");
    doctor->callback([options, &exitCode] { exitCode = runDoctor(*options); });
}

}  // namespace tamro::cli
