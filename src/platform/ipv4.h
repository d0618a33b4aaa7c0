#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamro {

// An IPv4 address as four bytes in network order: bytes[0] is the first
// number of the dotted form. Records, packets and arguments all use it.
struct Ipv4 {
    std::array<std::uint8_t, 4> bytes{};

    friend bool operator==(const Ipv4&, const Ipv4&) = default;

    static constexpr Ipv4 fromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c,
                                     std::uint8_t d) {
        return Ipv4{{a, b, c, d}};
    }
    // The address as a host-order number (first octet in the top byte).
    constexpr std::uint32_t hostOrder() const {
        return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    }
    static constexpr Ipv4 fromHostOrder(std::uint32_t value) {
        return Ipv4{{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                     static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}};
    }
};

inline constexpr Ipv4 limitedBroadcast = Ipv4{{255, 255, 255, 255}};

// Dotted decimal, "192.168.1.10".
std::string toDottedText(const Ipv4& address);

// Strict dotted decimal: four numbers 0-255 of one to three digits, nothing else.
std::optional<Ipv4> parseDottedText(std::string_view text);

}  // namespace tamro
