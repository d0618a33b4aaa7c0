#include "platform/host_checks.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tamro {

namespace {

std::optional<std::int32_t> readNumber(const std::string& path) {
    std::ifstream file(path);
    std::int32_t value = 0;
    if (!(file >> value)) return std::nullopt;
    return value;
}

bool executable(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

// A tool's standard output, capped; nothing when it cannot be started or fails.
std::optional<std::string> output(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string text;
    std::array<char, 4096> chunk{};
    constexpr std::size_t cap = 4 << 20;
    while (text.size() < cap) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe);
        if (got == 0) break;
        text.append(chunk.data(), got);
    }
    const int status = ::pclose(pipe);
    if (status != 0) return std::nullopt;
    return text;
}

// The first of the usual places that holds the tool.
const char* findTool(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (executable(path)) return path;
    }
    return nullptr;
}

bool opens(int type) {
    const int handle = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (handle < 0) return false;
    ::close(handle);
    return true;
}

}  // namespace

ReversePathSettings reversePathSettings(std::string_view interfaceName) {
    // A name that could climb out of the directory is no interface's.
    if (interfaceName.empty() || interfaceName.find('/') != std::string_view::npos ||
        interfaceName == "." || interfaceName == "..") {
        return {};
    }
    const std::string base = "/proc/sys/net/ipv4/conf/";
    return {readNumber(base + "all/rp_filter"),
            readNumber(base + std::string(interfaceName) + "/rp_filter")};
}

std::optional<std::int32_t> reversePathFilter(std::string_view interfaceName) {
    const ReversePathSettings settings = reversePathSettings(interfaceName);
    if (!settings.all && !settings.own) return std::nullopt;
    return std::max(settings.all.value_or(0), settings.own.value_or(0));
}

std::optional<std::vector<RouteEntry>> ipv4Routes() {
    std::ifstream file("/proc/net/route");
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return parseRouteTable(text.str());
}

std::vector<FirewallListing> firewallListings() {
    std::vector<FirewallListing> listings;
    if (const char* nft = findTool({"/usr/sbin/nft", "/sbin/nft", "/usr/bin/nft"})) {
        const std::string command = std::string(nft) + " -j list ruleset";
        listings.push_back({"nftables", command, output(command)});
    }
    if (const char* save = findTool({"/usr/sbin/iptables-save", "/sbin/iptables-save",
                                     "/usr/bin/iptables-save"})) {
        // Every table: raw and mangle drop packets before filter sees them.
        const std::string command = save;
        listings.push_back({"iptables", command, output(command)});
    }
    return listings;
}

EchoSocketCheck checkEchoSocket() {
    EchoSocketCheck check;
    check.datagram = opens(SOCK_DGRAM);
    check.raw = opens(SOCK_RAW);
    std::ifstream range("/proc/sys/net/ipv4/ping_group_range");
    std::int64_t low = 0;
    std::int64_t high = 0;
    if (range >> low >> high) check.groupRange = std::to_string(low) + " " + std::to_string(high);
    check.fix = "sysctl -w net.ipv4.ping_group_range=\"0 " + std::to_string(::getgid()) +
                "\"  (or run as root)";
    if (low <= 0 && high >= static_cast<std::int64_t>(::getgid())) check.fix.clear();
    return check;
}

std::vector<std::string> hostChecksNotMade() { return {}; }

}  // namespace tamro
