#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "ui/front_end.h"

class QEventLoop;
class QThread;

namespace tamro::qt {

class SetupWindow;

// The dialog logic's front end in the Qt window: message boxes owned by the
// window, the end of the dialog, the busy pointer, and the workers (write,
// search, probe) on threads of their own that reach the dialog only by
// posting to the window's thread. While one runs, ending the dialog waits. Until a
// window is attached (the dialog's start-up) message boxes stand alone.
class QtFrontEnd : public QObject, public FrontEnd {
    Q_OBJECT

public:
    QtFrontEnd() = default;
    explicit QtFrontEnd(SetupWindow& window) : window_(&window) {}
    // Waits for a running worker, answering what it posts meanwhile.
    ~QtFrontEnd() override;

    // The window that owns the message boxes and shows the form; nullptr
    // detaches it. Not while a worker runs.
    void attach(SetupWindow* window) { window_ = window; }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons) override;
    void endDialog(int result) override;
    void startWorker(std::function<void()> work) override;
    void runOnDialogThread(std::function<void()> task) override;
    // The wait cursor over the whole program while the dialog waits.
    void setBusy(bool busy) override;
    bool busy() const { return busy_; }

    // Set once the logic has ended the dialog (a failed start ends it before
    // it is ever shown).
    std::optional<int> endResult() const { return endResult_; }
    bool workerRunning() const { return !workers_.empty(); }
    // Keeps the dialog's thread answering until no worker runs.
    void waitForWorkers();

private:
    void workerFinished(QThread* thread);
    void mirrorForm();

    SetupWindow* window_ = nullptr;
    std::vector<QThread*> workers_;
    std::optional<int> endResult_;
    QEventLoop* waiting_ = nullptr;
    bool busy_ = false;
};

}  // namespace tamro::qt
