#include "ui/win32/shell_text.h"

namespace tamro::win32 {

namespace {

constexpr bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring_view commandLineText(std::wstring_view commandLine) {
    std::size_t next = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        // A quoted name ends at its closing quote (what follows it at once is
        // already the text); an unclosed one takes the whole line.
        const std::size_t closing = commandLine.find(L'"', 1);
        if (closing == std::wstring_view::npos) return {};
        next = closing + 1;
    } else {
        while (next < commandLine.size() && !isBlank(commandLine[next])) ++next;
    }
    while (next < commandLine.size() && isBlank(commandLine[next])) ++next;
    return commandLine.substr(next);
}

std::wstring_view programName(std::wstring_view programPath) {
    const std::size_t slash = programPath.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? programPath
                                                               : programPath.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

}  // namespace tamro::win32
