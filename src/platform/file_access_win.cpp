#include <cstdio>

#include "platform/file_access.h"
#include "platform/wide_text_win.h"

namespace tamro {

std::FILE* openFile(const std::string& path, const char* mode) {
    // fopen would read the path in the system code page.
    return ::_wfopen(wideFromUtf8(path).c_str(), wideFromUtf8(mode).c_str());
}

std::string_view directorySeparators() { return "\\/"; }

}  // namespace tamro
