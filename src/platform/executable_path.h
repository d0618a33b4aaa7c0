#pragma once

#include <optional>
#include <string>

namespace tamro {

// Full path of the running executable, or nothing when the system will not say.
std::optional<std::string> executablePath();

}  // namespace tamro
