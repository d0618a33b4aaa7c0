#include "platform/route_table.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace tamro {

namespace {

constexpr std::uint32_t routeUp = 0x0001;
constexpr std::uint32_t routeRejects = 0x0200;

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > at) out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

std::optional<std::uint32_t> hexNumber(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value, 16);
    if (failure != std::errc{} || stop != end || text.size() > 8) return std::nullopt;
    return value;
}

// The kernel prints the address's network-order bytes as one native number,
// so its bytes in memory are the address's.
Ipv4 addressOf(std::uint32_t printed) {
    Ipv4 address;
    std::memcpy(address.bytes.data(), &printed, sizeof printed);
    return address;
}

}  // namespace

std::vector<RouteEntry> parseRouteTable(std::string_view text) {
    std::vector<RouteEntry> routes;
    bool header = true;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (header) {
            header = false;
            continue;
        }
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
        const std::vector<std::string_view> columns = fields(line);
        if (columns.size() < 8) continue;
        const auto destination = hexNumber(columns[1]);
        const auto flags = hexNumber(columns[3]);
        const auto mask = hexNumber(columns[7]);
        if (!destination || !flags || !mask) continue;
        if ((*flags & routeUp) == 0 || (*flags & routeRejects) != 0) continue;
        routes.push_back({std::string(columns[0]), addressOf(*destination), addressOf(*mask)});
    }
    return routes;
}

}  // namespace tamro
