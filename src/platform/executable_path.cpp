#include "platform/executable_path.h"

#include <filesystem>
#include <system_error>

namespace tamro {

std::optional<std::string> executablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) return std::nullopt;
    return path.string();
}

}  // namespace tamro
