#include "platform/file_version_info.h"

namespace tamro {

std::array<std::uint16_t, 4> runningFileVersion() {
    // "+ 0" keeps a part that the project version leaves out at 0.
    return {static_cast<std::uint16_t>(TAMRO_VERSION_MAJOR + 0),
            static_cast<std::uint16_t>(TAMRO_VERSION_MINOR + 0),
            static_cast<std::uint16_t>(TAMRO_VERSION_PATCH + 0),
            static_cast<std::uint16_t>(TAMRO_VERSION_TWEAK + 0)};
}

}  // namespace tamro
