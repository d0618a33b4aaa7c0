#pragma once

#include <windows.h>

#include <vector>

#include "protocol/config_blocks.h"
#include "ui/dialog_template.h"

namespace tamro {
class SetupDialog;
}

namespace tamro::win32 {

class Win32FrontEnd;

// What ended the dialog: Enter (no push button focused), or Escape and the
// close box; -1 for a start that failed.
inline constexpr INT_PTR okResult = IDOK;
inline constexpr INT_PTR cancelResult = IDCANCEL;

// The setup dialog as the Win32 dialog of template 102, showing the
// SetupDialog's Form. The Form is the truth: the user's notifications
// (BN_CLICKED, LBN_SELCHANGE, CBN_SELCHANGE) become its user actions, which
// run the event map's handlers, and afterwards the controls are set from it
// again. Setting them raises no notification, as on the platform, and what
// the controls say of themselves meanwhile is not taken for the user's.
class SetupDialogWindow {
public:
    SetupDialogWindow(SetupDialog& dialog, Win32FrontEnd& frontEnd, HICON icon);
    SetupDialogWindow(const SetupDialogWindow&) = delete;
    SetupDialogWindow& operator=(const SetupDialogWindow&) = delete;

    // Runs the modal dialog from the program's template 102 and returns its
    // result; the dialog's initialisation runs before it is shown.
    INT_PTR run(HINSTANCE instance);

    // The dialog window while it exists, else nullptr.
    HWND handle() const { return handle_; }

    // Makes every control show the Form's state.
    void mirrorForm();

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL onInitDialog();
    void onCommand(int id, int code);
    bool onPaint();
    // What the user typed into edits and address controls, into the Form.
    void takeTypedInput();
    void mirrorControl(ControlId id, HWND control);

    SetupDialog& dialog_;
    Win32FrontEnd& frontEnd_;
    HICON icon_;
    HWND handle_ = nullptr;
    // Set while the program changes controls: their notifications are its own.
    bool programChange_ = false;
};

// An address control's field edits, left to right.
std::vector<HWND> addressFieldEdits(HWND control);

// The four fields of an address control, blank fields -1.
AddressFields readAddressControl(HWND control);

}  // namespace tamro::win32
