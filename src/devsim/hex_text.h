#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamro::devsim {

// Lower-case hex, two digits a byte, nothing between them.
std::string hexText(const std::uint8_t* data, std::size_t length);

// Pairs of hex digits in either case; spaces are allowed between bytes so
// that long blocks stay readable.
std::optional<std::vector<std::uint8_t>> parseHex(const std::string& text);

}  // namespace tamro::devsim
