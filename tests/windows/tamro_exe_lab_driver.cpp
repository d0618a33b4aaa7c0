// tamro_exe_lab_driver TAMRO_EXE MODEL_FILE DEVICE PING_DEVICE FREE_ADDRESS [PICTURE.bmp]
//
// Runs tamro.exe and drives its dialog as an operator would, from outside
// the process: search, choose DEVICE in the list, move its baud rate one
// step up, write and confirm; then choose PING_DEVICE, type FREE_ADDRESS
// into the address control and PING it. Prints what it saw, one line per step,
// and exits 0 when every step went as expected. Run it in a lab only.
// With PICTURE.bmp as a fifth argument it also saves what the screen shows of
// the dialog once the device is chosen.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dialog_driver_win.h"
#include "platform/wide_text_win.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"
#include "ui/dialog_template.h"
#include "ui/win32/setup_dialog_window.h"

namespace {

using namespace tamro;
using namespace tamro::testing;

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
}

std::string utf8(const std::wstring& text) { return utf8FromWide(text); }

HWND item(HWND dialog, ControlId id) { return ::GetDlgItem(dialog, controlNumber(id)); }

std::wstring listEntry(HWND list, int position) {
    const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, position, 0);
    if (length < 0 || length > 512) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(list, LB_GETTEXT, position, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

int findEntry(HWND list, const std::wstring& address) {
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const std::wstring entry = listEntry(list, i);
        // "MAC / address": the address ends the entry.
        if (entry.size() >= address.size() + 1 &&
            entry.compare(entry.size() - address.size(), address.size(), address) == 0 &&
            entry[entry.size() - address.size() - 1] == L' ') {
            return i;
        }
    }
    return -1;
}

// The user picks an entry with the keyboard: Home, then Down.
void chooseEntry(HWND list, int position) {
    postKey(list, VK_HOME);
    for (int i = 0; i < position; ++i) postKey(list, VK_DOWN);
}

bool expectBox(HWND dialog, std::string_view text, int answer, const std::string& what) {
    const MessageBoxSeen seen = waitForBox(dialog);
    check(seen.box != nullptr, what + ": a message box");
    if (seen.box == nullptr) return false;
    check(seen.text == wideFromUtf8(text), what + ": says \"" + utf8(seen.text) + "\"");
    check(seen.caption == L"tamro", what + ": caption \"" + utf8(seen.caption) + "\"");
    return answerBox(seen, answer);
}

// The dialog as the screen shows it, title bar included, as a 24-bit bitmap.
bool savePicture(HWND dialog, const std::wstring& path) {
    RECT r{};
    ::GetWindowRect(dialog, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    bool written = false;
    if (FILE* out = ::_wfopen(path.c_str(), L"wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, imageBytes, 1, out) == 1;
        written = std::fclose(out) == 0 && written;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written;
}

std::wstring picturePath;

int drive(HWND dialog, const std::wstring& device, const std::wstring& pingDevice,
          const std::wstring& freeAddress) {
    const HWND list = item(dialog, ControlId::deviceList);
    postClick(item(dialog, ControlId::searchButton));
    check(waitUntil([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0 && ::IsWindowEnabled(list); },
                    std::chrono::seconds(30)),
          "search lists devices");
    const int before = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::printf("     %d devices listed\n", before);
    const int position = findEntry(list, device);
    check(position >= 0, "the device is listed");
    if (position < 0) return 1;

    chooseEntry(list, position);
    const HWND write = item(dialog, ControlId::writeButton);
    check(waitUntil([&] { return ::IsWindowEnabled(write) != FALSE; }), "choosing it opens the form");
    if (!picturePath.empty()) {
        ::Sleep(500);  // let the dialog finish painting
        check(savePicture(dialog, picturePath), "picture saved");
    }
    const HWND baud = item(dialog, ControlId::baudCombo);
    const auto baudBefore = ::SendMessageW(baud, CB_GETCURSEL, 0, 0);
    ::SendMessageW(baud, WM_KEYDOWN, VK_DOWN, 1);
    const auto baudAfter = ::SendMessageW(baud, CB_GETCURSEL, 0, 0);
    check(baudAfter == baudBefore + 1, "the baud rate moves one step: " + std::to_string(baudBefore) +
                                           " -> " + std::to_string(baudAfter));

    postClick(write);
    expectBox(dialog, modelWriteConfirmationMessage("QZ-100"), IDOK, "write confirmation");
    expectBox(dialog, writeCompleteMessage, IDOK, "write result");
    check(waitUntil([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == before - 1; }),
          "the written device leaves the list");
    check(findEntry(list, device) < 0, "and it is no longer there");

    // Another device, a free address typed field by field, PING.
    const int other = findEntry(list, pingDevice);
    check(other >= 0, "the device to PING from is listed");
    if (other < 0) return 1;
    chooseEntry(list, other);
    const HWND ping = item(dialog, ControlId::pingButton);
    check(waitUntil([&] { return ::IsWindowEnabled(ping) != FALSE; }), "choosing it opens PING");
    const std::vector<HWND> fields = win32::addressFieldEdits(item(dialog, ControlId::ipAddressCtrl));
    check(fields.size() == 4, "the address control has four fields");
    if (fields.size() != 4) return 1;
    std::size_t from = 0;
    for (const HWND field : fields) {
        const std::size_t dot = freeAddress.find(L'.', from);
        const std::wstring part = freeAddress.substr(from, dot == std::wstring::npos ? dot : dot - from);
        from = dot == std::wstring::npos ? freeAddress.size() : dot + 1;
        ::SendMessageW(field, EM_SETSEL, 0, -1);
        typeText(field, part);
    }
    postClick(ping);
    expectBox(dialog, pingNoAnswerMessage, IDOK, "PING to a free address");
    check(waitUntil([&] { return ::IsWindowEnabled(ping) != FALSE; }), "the form is back after PING");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: tamro_exe_lab_driver TAMRO_EXE MODEL_FILE DEVICE PING_DEVICE "
                             "FREE_ADDRESS [PICTURE.bmp]\n");
        return 2;
    }
    if (argc == 7) picturePath = argv[6];
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\" " + argv[2];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start tamro.exe: %lu\n", ::GetLastError());
        return 1;
    }
    HWND dialog = nullptr;
    const std::wstring title = wideFromUtf8(setupDialogTemplate.title);
    check(waitUntil(
              [&] {
                  for (const HWND w : threadWindows(process.dwThreadId)) {
                      if (windowText(w) == title) dialog = w;
                  }
                  return dialog != nullptr;
              },
              std::chrono::seconds(30)),
          "tamro.exe shows its dialog");
    if (dialog != nullptr) {
        check(windowText(item(dialog, ControlId::versionText)) == L"Version 1.00", "it reads Version 1.00");
        drive(dialog, argv[3], argv[4], argv[5]);
        // Escape ends it, saving nothing.
        postKey(item(dialog, ControlId::adapterCombo), VK_ESCAPE);
    }
    const bool ended = ::WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0;
    if (!ended) ::TerminateProcess(process.hProcess, 3);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    check(ended && code == 0, "Escape ends tamro.exe with status " + std::to_string(code));
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return failures == 0 ? 0 : 1;
}
