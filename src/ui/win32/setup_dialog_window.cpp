#include "ui/win32/setup_dialog_window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/wide_text_win.h"
#include "ui/setup_dialog.h"
#include "ui/win32/shell_text.h"
#include "ui/win32/win32_front_end.h"

namespace tamro::win32 {

namespace {

// Form texts are UTF-8: the dialog converts model names from the file's code
// page as it lists them.
std::wstring displayText(std::string_view bytes) { return wideFromUtf8(utf8OrAscii(bytes)); }

std::wstring windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

void setWindowTextIfOther(HWND window, const std::wstring& text) {
    if (windowText(window) != text) ::SetWindowTextW(window, text.c_str());
}

// An entry of a combo or list, by its messages for the length and the text.
std::wstring entryText(HWND control, UINT lengthMessage, UINT textMessage, int position) {
    const LRESULT length = ::SendMessageW(control, lengthMessage, static_cast<WPARAM>(position), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(control, textMessage, static_cast<WPARAM>(position),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return text;
}

struct ListMessages {
    UINT count, textLength, text, reset, add, getSelection, setSelection;
};
constexpr ListMessages comboMessages = {CB_GETCOUNT,     CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_RESETCONTENT,
                                        CB_ADDSTRING,    CB_GETCURSEL,    CB_SETCURSEL};
constexpr ListMessages listMessages = {LB_GETCOUNT,  LB_GETTEXTLEN, LB_GETTEXT,  LB_RESETCONTENT,
                                       LB_ADDSTRING, LB_GETCURSEL,  LB_SETCURSEL};

void mirrorEntries(HWND control, const ListMessages& m, const std::vector<std::string>& items,
                   std::int32_t selection) {
    bool same = ::SendMessageW(control, m.count, 0, 0) == static_cast<LRESULT>(items.size());
    for (std::size_t i = 0; same && i < items.size(); ++i) {
        same = entryText(control, m.textLength, m.text, static_cast<int>(i)) ==
               displayText(items[i]);
    }
    if (!same) {
        ::SendMessageW(control, m.reset, 0, 0);
        for (const std::string& item : items) {
            const std::wstring text = displayText(item);
            ::SendMessageW(control, m.add, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }
    if (::SendMessageW(control, m.getSelection, 0, 0) != selection) {
        ::SendMessageW(control, m.setSelection, static_cast<WPARAM>(selection), 0);
    }
}

void setAddressControl(HWND control, const AddressFields& fields) {
    const auto& f = fields.fields;
    const bool allBlank = std::all_of(f.begin(), f.end(), [](std::int32_t v) { return v < 0; });
    const bool noneBlank = std::none_of(f.begin(), f.end(), [](std::int32_t v) { return v < 0; });
    if (allBlank) {
        ::SendMessageW(control, IPM_CLEARADDRESS, 0, 0);
    } else if (noneBlank) {
        ::SendMessageW(control, IPM_SETADDRESS, 0,
                       static_cast<LPARAM>(MAKEIPADDRESS(f[0], f[1], f[2], f[3])));
    } else {
        // Some fields blank: the control's own messages cannot say so.
        const std::vector<HWND> edits = addressFieldEdits(control);
        if (edits.size() != f.size()) return;
        for (std::size_t i = 0; i < f.size(); ++i) {
            const std::wstring text = f[i] < 0 ? L"" : std::to_wstring(f[i]);
            setWindowTextIfOther(edits[i], text);
        }
    }
}

}  // namespace

std::vector<HWND> addressFieldEdits(HWND control) {
    std::vector<HWND> edits;
    for (HWND child = ::GetWindow(control, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        edits.push_back(child);
    }
    std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
        RECT ra{}, rb{};
        ::GetWindowRect(a, &ra);
        ::GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return edits;
}

AddressFields readAddressControl(HWND control) {
    AddressFields fields;
    const std::vector<HWND> edits = addressFieldEdits(control);
    if (edits.size() == fields.fields.size()) {
        for (std::size_t i = 0; i < edits.size(); ++i) {
            const std::wstring text = windowText(edits[i]);
            fields.fields[i] = text.empty() ? -1 : std::min(decimalValue(utf8FromWide(text)), 255);
        }
        return fields;
    }
    DWORD packed = 0;
    const LRESULT filled = ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&packed));
    if (filled == 0) return fields;
    fields.fields = {FIRST_IPADDRESS(packed), SECOND_IPADDRESS(packed), THIRD_IPADDRESS(packed),
                     FOURTH_IPADDRESS(packed)};
    return fields;
}

SetupDialogWindow::SetupDialogWindow(SetupDialog& dialog, Win32FrontEnd& frontEnd, HICON icon)
    : dialog_(dialog), frontEnd_(frontEnd), icon_(icon) {}

INT_PTR SetupDialogWindow::run(HINSTANCE instance) {
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(dialogResourceId), nullptr, &procedure,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK SetupDialogWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<SetupDialogWindow*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->handle_ = window;
        return self->onMessage(message, wParam, lParam);
    }
    auto* self = reinterpret_cast<SetupDialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->onMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->frontEnd_.attach(nullptr);
        self->handle_ = nullptr;
    }
    return result;
}

INT_PTR SetupDialogWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return onInitDialog();
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
        case WM_PAINT: return onPaint() ? TRUE : FALSE;
        // One of the few messages whose answer is the procedure's own result.
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        case WM_SETCURSOR:
            if (!frontEnd_.busy()) return FALSE;
            ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
            ::SetWindowLongPtrW(handle_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case runTaskMessage: frontEnd_.runSentTask(lParam); return TRUE;
        case workerFinishedMessage: frontEnd_.reapWorker(wParam); return TRUE;
        default: return FALSE;
    }
}

BOOL SetupDialogWindow::onInitDialog() {
    frontEnd_.attach(this);
    ::SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    // A failed start has ended the dialog already; it is never shown.
    if (!dialog_.initDialog()) return FALSE;
    mirrorForm();
    return TRUE;
}

void SetupDialogWindow::onCommand(int id, int code) {
    if (id == IDOK || id == IDCANCEL) {
        // Enter, Escape, the close box: the dialog just ends, saving nothing.
        frontEnd_.endDialog(id);
        return;
    }
    if (programChange_) return;
    const auto control = controlIdFromNumber(id);
    if (!control) return;
    const ControlKind kind = controlKind(*control);
    const HWND window = ::GetDlgItem(handle_, id);
    // Only what the user did counts; focus and drop-down notices (and
    // CBN_SELENDOK, which comes before the selection is reported) pass by
    // without a look at the form, or the mirror would undo the choice.
    std::optional<std::int32_t> chosen;
    bool clicked = false;
    switch (kind) {
        case ControlKind::pushButton:
        case ControlKind::checkBox: clicked = code == BN_CLICKED; break;
        case ControlKind::combo:
            if (code == CBN_SELCHANGE) {
                chosen = static_cast<std::int32_t>(::SendMessageW(window, CB_GETCURSEL, 0, 0));
            }
            break;
        case ControlKind::list:
            if (code == LBN_SELCHANGE) {
                chosen = static_cast<std::int32_t>(::SendMessageW(window, LB_GETCURSEL, 0, 0));
            }
            break;
        case ControlKind::edit:
        case ControlKind::address: break;
        case ControlKind::text:
        case ControlKind::groupBox:
        case ControlKind::rule: return;
    }
    const bool typed = (kind == ControlKind::edit || kind == ControlKind::address) && code == EN_CHANGE;
    if (!clicked && !chosen && !typed) return;

    // Typed text reaches the Form before any handler can read it.
    takeTypedInput();
    Form& form = dialog_.form();
    if (clicked) form.userClick(*control);
    if (chosen) form.userSelect(*control, *chosen);
    mirrorForm();
}

void SetupDialogWindow::takeTypedInput() {
    Form& form = dialog_.form();
    for (const ControlId id : numberedControls()) {
        const ControlKind kind = controlKind(id);
        if (kind != ControlKind::edit && kind != ControlKind::address) continue;
        if (!form.takesUserInput(id)) continue;
        const HWND control = ::GetDlgItem(handle_, controlNumber(id));
        if (kind == ControlKind::edit) {
            const std::string typed = utf8FromWide(windowText(control));
            if (typed != form.text(id)) form.userReplaceText(id, typed);
        } else {
            const AddressFields typed = readAddressControl(control);
            if (typed.fields != form.address(id).fields) form.userSetAddress(id, typed);
        }
    }
}

void SetupDialogWindow::mirrorForm() {
    if (handle_ == nullptr) return;
    const bool outer = !programChange_;
    programChange_ = true;
    for (const ControlId id : numberedControls()) {
        mirrorControl(id, ::GetDlgItem(handle_, controlNumber(id)));
    }
    if (outer) programChange_ = false;
}

void SetupDialogWindow::mirrorControl(ControlId id, HWND control) {
    if (control == nullptr) return;
    const Form& form = dialog_.form();
    const bool enable = form.enabled(id);
    if ((::IsWindowEnabled(control) != FALSE) != enable) ::EnableWindow(control, enable);
    const bool show = form.visible(id);
    if (((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0) != show) {
        ::ShowWindow(control, show ? SW_SHOWNA : SW_HIDE);
    }
    switch (controlKind(id)) {
        case ControlKind::combo:
            mirrorEntries(control, comboMessages, form.items(id), form.selection(id));
            break;
        case ControlKind::list:
            mirrorEntries(control, listMessages, form.items(id), form.selection(id));
            break;
        case ControlKind::edit:
            // A program's longer text stays; the limit caps only typing.
            ::SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(form.textLimit(id)), 0);
            setWindowTextIfOther(control, displayText(form.text(id)));
            break;
        case ControlKind::address:
            if (readAddressControl(control).fields != form.address(id).fields) {
                setAddressControl(control, form.address(id));
            }
            break;
        case ControlKind::checkBox: {
            setWindowTextIfOther(control, displayText(form.text(id)));
            const WPARAM state = form.checked(id) ? BST_CHECKED : BST_UNCHECKED;
            if (static_cast<WPARAM>(::SendMessageW(control, BM_GETCHECK, 0, 0)) != state) {
                ::SendMessageW(control, BM_SETCHECK, state, 0);
            }
            break;
        }
        case ControlKind::pushButton:
        case ControlKind::text: setWindowTextIfOther(control, displayText(form.text(id))); break;
        case ControlKind::groupBox:
        case ControlKind::rule: break;
    }
}

bool SetupDialogWindow::onPaint() {
    if (!::IsIconic(handle_)) return false;
    PAINTSTRUCT paint{};
    const HDC context = ::BeginPaint(handle_, &paint);
    ::SendMessageW(handle_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client{};
    ::GetClientRect(handle_, &client);
    const IconOrigin origin =
        iconOrigin(client.right - client.left, client.bottom - client.top,
                   ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(context, origin.x, origin.y, icon_);
    ::EndPaint(handle_, &paint);
    return true;
}

}  // namespace tamro::win32
