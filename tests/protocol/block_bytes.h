#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <vector>

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

// Every byte a write may change; all others must go back as fetched.
inline const std::set<std::size_t> block0Controlled = {0,  1,  2,  3,  4,  5,  6,  7,  10, 11,
                                                       16, 17, 18, 19, 20, 21, 22, 24, 25, 26,
                                                       27, 28, 29, 30, 31, 32, 33, 38, 39};
inline const std::set<std::size_t> block3Controlled = {0, 1, 2, 3, 120};
inline const std::set<std::size_t> block7Controlled = {0, 1, 2, 3, 4, 5, 6, 129};

// Offsets outside `controlled` whose byte differs between the two blocks.
template <std::size_t N>
std::vector<std::size_t> uncontrolledChanges(const std::array<std::uint8_t, N>& fetched,
                                             const std::array<std::uint8_t, N>& patched,
                                             const std::set<std::size_t>& controlled) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < N; ++i) {
        if (patched[i] != fetched[i] && controlled.count(i) == 0) changed.push_back(i);
    }
    return changed;
}

}  // namespace tamro::testing_blocks
