// tamro_exe_lab_driver TAMRO_EXE MODEL_FILE DEVICE_ADDRESS FREE_ADDRESS
//
// Runs tamro.exe and drives its dialog as an operator would, from outside
// the process: search, choose DEVICE_ADDRESS in the list, move its baud rate
// one step up, write and confirm; then PING to FREE_ADDRESS typed into the
// address field of another device. Prints what it saw, one line per step,
// and exits 0 when every step went as expected. Run it in a lab only.
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

std::vector<HWND> addressFields(HWND address) {
    std::vector<HWND> fields;
    for (HWND f = ::GetWindow(address, GW_CHILD); f != nullptr; f = ::GetWindow(f, GW_HWNDNEXT)) {
        fields.push_back(f);
    }
    std::sort(fields.begin(), fields.end(), [](HWND a, HWND b) {
        RECT ra{}, rb{};
        ::GetWindowRect(a, &ra);
        ::GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return fields;
}

int drive(HWND dialog, const std::wstring& device, const std::wstring& freeAddress) {
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

    // Another device, a free address typed into its last field, PING.
    chooseEntry(list, 0);
    const HWND ping = item(dialog, ControlId::pingButton);
    check(waitUntil([&] { return ::IsWindowEnabled(ping) != FALSE; }), "another device opens the form");
    const std::vector<HWND> fields = addressFields(item(dialog, ControlId::ipAddressCtrl));
    check(fields.size() == 4, "the address control has four fields");
    if (fields.size() != 4) return 1;
    const std::wstring last = freeAddress.substr(freeAddress.rfind(L'.') + 1);
    ::SendMessageW(fields[3], EM_SETSEL, 0, -1);
    typeText(fields[3], last);
    postClick(ping);
    expectBox(dialog, pingNoAnswerMessage, IDOK, "PING to a free address");
    check(waitUntil([&] { return ::IsWindowEnabled(ping) != FALSE; }), "the form is back after PING");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: tamro_exe_lab_driver TAMRO_EXE MODEL_FILE DEVICE FREE_ADDRESS\n");
        return 2;
    }
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
        drive(dialog, argv[3], argv[4]);
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
