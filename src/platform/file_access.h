#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace tamro {

// Paths are held as UTF-8 everywhere; these reach the file system with them.

inline std::filesystem::path pathFromUtf8(std::string_view path) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

// C's fopen for a UTF-8 path; nullptr when it cannot be opened.
std::FILE* openFile(const std::string& path, const char* mode);

inline bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(pathFromUtf8(path), error) && !error;
}

// Any directory entry, a dangling link included.
inline bool directoryEntryExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(pathFromUtf8(path), error));
}

// The characters that end a directory name in a path.
std::string_view directorySeparators();

}  // namespace tamro
