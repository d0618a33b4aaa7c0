#include <windows.h>

#include <vector>

#include "platform/executable_path.h"
#include "platform/wide_text_win.h"

namespace tamro {

std::optional<std::string> executablePath() {
    // Drive and directory included; the wide call keeps names that the
    // system code page cannot spell.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return utf8FromWide(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= 32768) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace tamro
