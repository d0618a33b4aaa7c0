#pragma once

#include <functional>
#include <string_view>

namespace tamro {

enum class MessageButtons { ok, okCancel };
enum class MessageAnswer { ok, cancel };

// What the dialog's logic needs from whatever shows it: the Qt window, the
// command line, or a test's script. The dialog logic runs on one thread (the
// dialog's); the workers (the write, the search, the address probe) run on
// another and reach the dialog only through runOnDialogThread.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // A modal message box owned by the dialog: text only, the caption is the
    // program's name. Called on the dialog's thread.
    virtual MessageAnswer showMessage(std::string_view text, MessageButtons buttons) = 0;

    // Ends the dialog with a result (-1 for a failed start). Nothing is saved.
    virtual void endDialog(int result) = 0;

    // Starts `work` on a worker thread and returns at once.
    virtual void startWorker(std::function<void()> work) = 0;

    // From the worker: runs `task` on the dialog's thread and waits until it
    // has finished. Never called from the dialog's own thread.
    virtual void runOnDialogThread(std::function<void()> task) = 0;

    // The dialog waits for a search or a probe: a window shows the busy
    // pointer meanwhile. Called on the dialog's thread, in pairs.
    virtual void setBusy(bool /*busy*/) {}
};

}  // namespace tamro
