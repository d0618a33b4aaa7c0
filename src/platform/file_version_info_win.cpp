#include <windows.h>
#include <winver.h>

#include <vector>

#include "platform/executable_path.h"
#include "platform/file_version_info.h"
#include "platform/wide_text_win.h"

namespace tamro {

std::array<std::uint16_t, 4> runningFileVersion() {
    const auto path = executablePath();
    if (!path) return {};
    // The wide calls, so that a program under a path the system code page
    // cannot spell still finds its own resource.
    const std::wstring widePath = wideFromUtf8(*path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> block(size + 1);
    if (!::GetFileVersionInfoW(widePath.c_str(), 0, size, block.data())) return {};

    void* value = nullptr;
    UINT length = 0;
    // Only a resource with a translation table counts.
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length)) return {};
    if (!::VerQueryValueW(block.data(), L"\\", &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    return {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
            HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

}  // namespace tamro
