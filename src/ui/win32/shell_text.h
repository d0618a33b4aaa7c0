#pragma once

#include <cstdint>
#include <string_view>

namespace tamro::win32 {

// The command-line text a Windows program hands its dialog: everything after
// the program's name (quoted or not) and the blanks that follow it; nothing
// is removed at its end. `commandLine` is the whole line GetCommandLineW gives.
std::wstring_view commandLineText(std::wstring_view commandLine);

// A program's file name without folder and extension: the caption of every
// message box.
std::wstring_view programName(std::wstring_view programPath);

struct IconOrigin {
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend bool operator==(const IconOrigin&, const IconOrigin&) = default;
};

// Where the minimised dialog draws its icon: centred, rounded up, and
// truncated toward zero when the icon is the larger.
constexpr IconOrigin iconOrigin(std::int32_t clientWidth, std::int32_t clientHeight,
                                std::int32_t iconWidth, std::int32_t iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace tamro::win32
