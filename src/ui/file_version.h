#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tamro {

// The program's four-part file version, most significant part first.
struct FileVersion {
    std::array<std::uint16_t, 4> parts{};

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// The version this build was made as (the project version).
FileVersion buildFileVersion();

// "Version %d.%d%d" of the first three parts: 1.2.3.x reads "Version 1.23",
// 2.1.10.x "Version 2.110". The fourth part is never shown.
std::string formatVersionText(const FileVersion& version);

}  // namespace tamro
