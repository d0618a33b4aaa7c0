#include "ui/win32/win32_front_end.h"

#include <algorithm>
#include <utility>

#include "platform/executable_path.h"
#include "platform/text.h"
#include "platform/wide_text_win.h"
#include "ui/win32/setup_dialog_window.h"
#include "ui/win32/shell_text.h"

namespace tamro::win32 {

Win32FrontEnd::Win32FrontEnd() : dialogThread_(::GetCurrentThreadId()) {
    const auto path = executablePath();
    caption_ = std::wstring(programName(wideFromUtf8(path.value_or(""))));
}

Win32FrontEnd::~Win32FrontEnd() {
    // Only reached with workers left when the dialog was torn down some
    // other way; they can no longer reach it, so just wait for them.
    for (Worker& worker : workers_) {
        if (worker.thread.joinable()) worker.thread.join();
    }
    setBusy(false);
}

void Win32FrontEnd::attach(SetupDialogWindow* window) {
    window_ = window;
    dialogThread_ = ::GetCurrentThreadId();
}

MessageAnswer Win32FrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    if (::GetCurrentThreadId() != dialogThread_) {
        MessageAnswer answer = MessageAnswer::cancel;
        runOnDialogThread([&] { answer = showMessage(text, buttons); });
        return answer;
    }
    // The box shows over the form as the logic has left it so far.
    mirrorForm();
    const HWND owner = window_ != nullptr ? window_->handle() : nullptr;
    const UINT type = buttons == MessageButtons::okCancel ? MB_OKCANCEL : MB_OK;
    const std::wstring wide = wideFromUtf8(utf8OrAscii(text));
    const int answer = ::MessageBoxW(owner, wide.c_str(), caption_.c_str(), type);
    return answer == IDOK ? MessageAnswer::ok : MessageAnswer::cancel;
}

void Win32FrontEnd::endDialog(int result) {
    endResult_ = result;
    if (window_ == nullptr || window_->handle() == nullptr) return;
    // Ending under a running worker would leave its answers nowhere to go.
    if (!workers_.empty()) {
        pendingEnd_ = result;
        return;
    }
    ::EndDialog(window_->handle(), result);
}

void Win32FrontEnd::startWorker(std::function<void()> work) {
    const HWND dialog = window_ != nullptr ? window_->handle() : nullptr;
    const std::uint32_t number = nextWorker_++;
    workers_.push_back(Worker{number, std::thread([work = std::move(work), dialog, number] {
                                  work();
                                  ::PostMessageW(dialog, workerFinishedMessage, number, 0);
                              })});
}

void Win32FrontEnd::reapWorker(WPARAM number) {
    const auto found = std::find_if(workers_.begin(), workers_.end(),
                                    [number](const Worker& w) { return w.number == number; });
    if (found == workers_.end()) return;
    // It has posted its last message and is returning: the join is short.
    found->thread.join();
    workers_.erase(found);
    mirrorForm();
    if (workers_.empty() && pendingEnd_) {
        const int result = *pendingEnd_;
        pendingEnd_.reset();
        endDialog(result);
    }
}

void Win32FrontEnd::runOnDialogThread(std::function<void()> task) {
    // Sending to our own thread would only call ourselves; do it plainly.
    if (::GetCurrentThreadId() == dialogThread_ || window_ == nullptr) {
        task();
        mirrorForm();
        return;
    }
    ::SendMessageW(window_->handle(), runTaskMessage, 0, reinterpret_cast<LPARAM>(&task));
}

void Win32FrontEnd::runSentTask(LPARAM task) {
    (*reinterpret_cast<std::function<void()>*>(task))();
    mirrorForm();
}

void Win32FrontEnd::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    // At once, not at the pointer's next move; WM_SETCURSOR keeps it so.
    ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32FrontEnd::mirrorForm() {
    if (window_ != nullptr) window_->mirrorForm();
}

}  // namespace tamro::win32
