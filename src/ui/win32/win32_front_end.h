#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/front_end.h"

namespace tamro::win32 {

class SetupDialogWindow;

// The dialog's own messages between its threads: a worker's task to run on
// the dialog's thread (lParam: the std::function, the sender waits), and a
// worker that has finished (wParam: its number).
inline constexpr UINT runTaskMessage = WM_APP + 1;
inline constexpr UINT workerFinishedMessage = WM_APP + 2;

// The dialog logic's front end in the Win32 dialog: message boxes owned by
// the dialog, the end of the dialog (held while a worker runs), the busy
// pointer, and the workers on threads of their own that reach the dialog by
// sending it a message, which its modal loop answers.
class Win32FrontEnd final : public FrontEnd {
public:
    Win32FrontEnd();
    // No worker may outlive the dialog: the dialog holds its end until they
    // are done, so there is none left here.
    ~Win32FrontEnd() override;
    Win32FrontEnd(const Win32FrontEnd&) = delete;
    Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

    // The dialog window that owns the boxes and shows the form; called on
    // the dialog's thread when it is created, and with nullptr when it goes.
    void attach(SetupDialogWindow* window);

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons) override;
    void endDialog(int result) override;
    void startWorker(std::function<void()> work) override;
    void runOnDialogThread(std::function<void()> task) override;
    void setBusy(bool busy) override;

    bool busy() const { return busy_; }
    bool workerRunning() const { return !workers_.empty(); }
    std::optional<int> endResult() const { return endResult_; }
    // The caption of the message boxes.
    const std::wstring& caption() const { return caption_; }

    // The dialog's answers to its own messages.
    void runSentTask(LPARAM task);
    void reapWorker(WPARAM number);

private:
    struct Worker {
        std::uint32_t number = 0;
        std::thread thread;
    };

    void mirrorForm();

    SetupDialogWindow* window_ = nullptr;
    DWORD dialogThread_ = 0;
    std::wstring caption_;
    std::vector<Worker> workers_;
    std::uint32_t nextWorker_ = 1;
    std::optional<int> endResult_;
    std::optional<int> pendingEnd_;
    bool busy_ = false;
};

}  // namespace tamro::win32
