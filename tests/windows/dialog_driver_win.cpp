#include "dialog_driver_win.h"

#include <thread>

namespace tamro::testing {

std::wstring windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<HWND> threadWindows(DWORD thread) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) -> BOOL {
            if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND findOwnedBox(HWND owner) {
    if (owner == nullptr) return nullptr;
    const DWORD thread = ::GetWindowThreadProcessId(owner, nullptr);
    for (const HWND window : threadWindows(thread)) {
        if (window != owner && ::GetWindow(window, GW_OWNER) == owner &&
            className(window) == L"#32770") {
            return window;
        }
    }
    return nullptr;
}

MessageBoxSeen waitForBox(HWND owner) {
    MessageBoxSeen seen;
    if (!waitUntil([&] { return (seen.box = findOwnedBox(owner)) != nullptr; })) return {};
    seen.caption = windowText(seen.box);
    seen.hasOk = ::GetDlgItem(seen.box, IDOK) != nullptr;
    seen.hasCancel = ::GetDlgItem(seen.box, IDCANCEL) != nullptr;
    for (HWND child = ::GetWindow(seen.box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (className(child) != L"Static" || !::IsWindowVisible(child)) continue;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            if (::SendMessageW(child, STM_GETICON, 0, 0) != 0) seen.hasIcon = true;
            continue;
        }
        const std::wstring text = windowText(child);
        if (!text.empty()) seen.text += text;
    }
    return seen;
}

bool answerBox(const MessageBoxSeen& seen, int id) {
    const HWND button = ::GetDlgItem(seen.box, id);
    if (button == nullptr) return false;
    postClick(button);
    return waitUntil([&] { return !::IsWindow(seen.box) || !::IsWindowVisible(seen.box); });
}

void postClick(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void postKey(HWND control, WPARAM virtualKey) {
    ::PostMessageW(control, WM_KEYDOWN, virtualKey, 1);
    ::PostMessageW(control, WM_KEYUP, virtualKey, 1 | (1u << 30) | (1u << 31));
}

void typeText(HWND control, std::wstring_view text) {
    for (const wchar_t c : text) ::SendMessageW(control, WM_CHAR, c, 1);
}

}  // namespace tamro::testing

