#include "platform/network_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <system_error>

namespace tamro {

namespace {

constexpr std::string_view interfaceDirectory = "/sys/class/net";

// The first line of a sysfs attribute; nothing when it cannot be read (some
// attributes, such as speed, refuse to be read on links that have none).
std::optional<std::string> readAttribute(const std::string& interfaceName, const char* attribute) {
    std::ifstream file(std::string(interfaceDirectory) + "/" + interfaceName + "/" + attribute);
    std::string line;
    if (!file || !std::getline(file, line)) return std::nullopt;
    return line;
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, int base = 10) {
    if (base == 16 && text.starts_with("0x")) text.remove_prefix(2);
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end == text.data()) return std::nullopt;
    return value;
}

std::int32_t operationalStatus(std::string_view operstate, unsigned flags) {
    if (operstate == "up") return 5;
    // Links without carrier detection (loopback, tunnels) say "unknown";
    // running is the best they can tell.
    if (operstate == "unknown") return (flags & IFF_UP) && (flags & IFF_RUNNING) ? 4 : 1;
    if (operstate == "dormant") return 3;
    if (operstate == "down" || operstate == "lowerlayerdown" || operstate == "notpresent") {
        return 2;
    }
    return 1;
}

std::uint64_t linkSpeed(const std::string& interfaceName) {
    const auto text = readAttribute(interfaceName, "speed");
    if (!text) return 0;
    const auto megabits = parseNumber<std::int64_t>(*text);
    if (!megabits || *megabits <= 0) return 0;
    return static_cast<std::uint64_t>(*megabits) * 1'000'000u;
}

class InterfaceQuery {
public:
    InterfaceQuery() : handle_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~InterfaceQuery() {
        if (handle_ >= 0) ::close(handle_);
    }
    InterfaceQuery(const InterfaceQuery&) = delete;
    InterfaceQuery& operator=(const InterfaceQuery&) = delete;

    bool isOpen() const { return handle_ >= 0; }

    // The live flags (with IFF_RUNNING, which sysfs does not show).
    std::optional<unsigned> flags(const std::string& interfaceName) const {
        ifreq request{};
        if (interfaceName.size() >= sizeof request.ifr_name) return std::nullopt;
        std::memcpy(request.ifr_name, interfaceName.data(), interfaceName.size());
        if (::ioctl(handle_, SIOCGIFFLAGS, &request) != 0) return std::nullopt;
        return static_cast<unsigned short>(request.ifr_flags);
    }

private:
    int handle_;
};

std::optional<InterfaceRow> readInterfaceRow(const InterfaceQuery& query, const std::string& name) {
    // sysfs shows the namespace it was mounted in, which need not be ours: an
    // entry counts only when our namespace knows the same name under the same
    // index, so the rows always join with the address rows.
    const unsigned index = ::if_nametoindex(name.c_str());
    if (index == 0) return std::nullopt;
    const auto sysfsIndex = readAttribute(name, "ifindex");
    if (!sysfsIndex || parseNumber<unsigned>(*sysfsIndex) != index) return std::nullopt;

    const auto flags = query.flags(name);
    if (!flags) return std::nullopt;

    InterfaceRow row;
    row.index = index;
    row.operationalStatus = operationalStatus(readAttribute(name, "operstate").value_or(""), *flags);
    // Loopback reports a six-byte all-zero address; it has no hardware behind it.
    if ((*flags & IFF_LOOPBACK) == 0) {
        if (const auto length = readAttribute(name, "addr_len")) {
            row.hardwareAddressLength = parseNumber<std::uint32_t>(*length).value_or(0);
        }
    }
    row.linkSpeed = linkSpeed(name);
    row.description = name;
    return row;
}

Ipv4 addressOf(const sockaddr* socketAddress) {
    Ipv4 result;
    if (socketAddress != nullptr && socketAddress->sa_family == AF_INET) {
        const auto* inet = reinterpret_cast<const sockaddr_in*>(socketAddress);
        std::memcpy(result.bytes.data(), &inet->sin_addr.s_addr, 4);
    }
    return result;
}

}  // namespace

std::optional<std::vector<InterfaceRow>> readInterfaceRows() {
    std::error_code error;
    std::filesystem::directory_iterator entries(interfaceDirectory, error);
    if (error) return std::nullopt;
    const InterfaceQuery query;
    if (!query.isOpen()) return std::nullopt;

    std::vector<InterfaceRow> rows;
    // Stepped by hand: the iterator's own increment throws on errors.
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (auto row = readInterfaceRow(query, entries->path().filename().string())) {
            rows.push_back(std::move(*row));
        }
    }
    if (error) return std::nullopt;
    std::sort(rows.begin(), rows.end(),
              [](const InterfaceRow& a, const InterfaceRow& b) { return a.index < b.index; });
    return rows;
}

std::optional<std::vector<AddressRow>> readAddressRows() {
    ifaddrs* first = nullptr;
    if (::getifaddrs(&first) != 0) return std::nullopt;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> list(first, ::freeifaddrs);

    std::vector<AddressRow> rows;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        AddressRow row;
        row.address = addressOf(entry->ifa_addr);
        row.mask = addressOf(entry->ifa_netmask);
        // An address with a label is listed as "name:label"; no interface name
        // holds a colon, so the part before it is the interface.
        const std::string_view labelled = entry->ifa_name != nullptr ? entry->ifa_name : "";
        row.interfaceName = std::string(labelled.substr(0, labelled.find(':')));
        row.interfaceIndex = ::if_nametoindex(row.interfaceName.c_str());
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace tamro
