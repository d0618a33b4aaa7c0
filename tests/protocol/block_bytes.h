#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace tamro::testing_blocks {

// A recognisable pattern, so that a byte moved or lost shows.
template <std::size_t N>
void fillPattern(std::array<std::uint8_t, N>& block, unsigned seed) {
    for (std::size_t i = 0; i < N; ++i) block[i] = static_cast<std::uint8_t>((i * 37 + seed) & 0xFF);
}

template <std::size_t N>
void put(std::array<std::uint8_t, N>& block, std::size_t offset, std::initializer_list<int> bytes) {
    for (const int b : bytes) block.at(offset++) = static_cast<std::uint8_t>(b);
}

}  // namespace tamro::testing_blocks
