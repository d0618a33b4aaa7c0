#include "platform/file_access.h"

namespace tamro {

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::string_view directorySeparators() { return "/"; }

}  // namespace tamro
