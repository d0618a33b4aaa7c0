#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamro::cli {

// The four numbers of a dotted address as typed, each 0 to 255; with
// `blanks`, an empty field is allowed and read as -1. Nothing, with
// `problem` naming the text and what is wrong, for anything else.
std::optional<std::array<std::int32_t, 4>> readDottedFields(std::string_view text, bool blanks,
                                                            std::string& problem);

// "TEXT: ..." when `text` is not a strict dotted address, else "".
std::string dottedProblem(std::string_view text);

}  // namespace tamro::cli
