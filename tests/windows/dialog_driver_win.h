#pragma once

// Drives a Win32 dialog from another thread the way an operator does: real
// messages to its controls, and its message boxes found by their owner and
// answered by pressing their buttons.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tamro::testing {

std::wstring windowText(HWND window);
std::wstring className(HWND window);

// Polls `done` until it holds or `timeout` passes; true when it held.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));

// The visible top-level windows of `thread`.
std::vector<HWND> threadWindows(DWORD thread);

// A visible message box owned by `owner`, or nullptr.
HWND findOwnedBox(HWND owner);

struct MessageBoxSeen {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
    bool hasOk = false;
    bool hasCancel = false;
    // Any icon beside the text.
    bool hasIcon = false;
};

// Waits for the box owned by `owner`; box is nullptr when none came.
MessageBoxSeen waitForBox(HWND owner);
// Presses the box's button `id` (IDOK, IDCANCEL) and waits until it is gone.
bool answerBox(const MessageBoxSeen& seen, int id);

// Keys and clicks, posted so that a handler that opens a box cannot block
// the driver.
void postClick(HWND button);
void postKey(HWND control, WPARAM virtualKey);
// Typed characters, sent one by one (the control has handled each on return).
void typeText(HWND control, std::wstring_view text);

}  // namespace tamro::testing
