#include "ui/file_version.h"

#include <cstdio>

namespace tamro {

FileVersion buildFileVersion() {
    // "+ 0" keeps a part that the project version leaves out (an empty
    // definition) at 0 instead of breaking the build.
    return FileVersion{{
        static_cast<std::uint16_t>(TAMRO_VERSION_MAJOR + 0),
        static_cast<std::uint16_t>(TAMRO_VERSION_MINOR + 0),
        static_cast<std::uint16_t>(TAMRO_VERSION_PATCH + 0),
        static_cast<std::uint16_t>(TAMRO_VERSION_TWEAK + 0),
    }};
}

std::string formatVersionText(const FileVersion& version) {
    // Three parts of at most five digits each, plus the words: 32 bytes hold it.
    char text[32];
    std::snprintf(text, sizeof text, "Version %d.%d%d", int{version.parts[0]},
                  int{version.parts[1]}, int{version.parts[2]});
    return text;
}

}  // namespace tamro
