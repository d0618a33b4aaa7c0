#pragma once

#include <array>
#include <cstdint>

namespace tamro {

// The running program's four-part file version, most significant first.
// Windows reads it from the program's version resource (0.0.0.0 when there
// is none); elsewhere the program carries the version it was built as.
std::array<std::uint16_t, 4> runningFileVersion();

}  // namespace tamro
