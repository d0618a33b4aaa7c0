#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/front_end.h"

namespace tamro::testing {

struct ShownMessage {
    std::string text;
    MessageButtons buttons = MessageButtons::ok;
    bool onDialogThread = true;

    friend bool operator==(const ShownMessage&, const ShownMessage&) = default;
};

// A front end that plays the operator from a script. OK boxes are answered
// OK; each confirmation takes the next queued answer (a confirmation with
// none queued fails the test and is cancelled).
//
// Workers run either inline, or on a real thread whose dialog-thread tasks
// wait in a queue until the test, as the dialog's thread, runs them in
// finishWorker(). The thread that built the front end is the dialog's.
class ScriptedFrontEnd final : public FrontEnd {
public:
    enum class Workers { inlineOnCaller, onThread };

    explicit ScriptedFrontEnd(Workers workers = Workers::inlineOnCaller);
    ~ScriptedFrontEnd() override;

    void queueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
    // Drops answers that no confirmation asked for.
    void clearAnswers() { answers_.clear(); }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons) override;
    void endDialog(int result) override { endResults.push_back(result); }
    void startWorker(std::function<void()> work) override;
    void runOnDialogThread(std::function<void()> task) override;
    void setBusy(bool busy) override { busyChanges.push_back(busy); }

    // Runs the worker's dialog-thread tasks until it has ended, then joins it.
    void finishWorker();

    std::vector<std::string> texts() const;

    std::vector<ShownMessage> messages;
    std::vector<int> endResults;
    int workersStarted = 0;
    // Every setBusy, in order.
    std::vector<bool> busyChanges;

private:
    struct Task {
        std::function<void()> run;
        bool done = false;
    };

    bool onDialogThread() const { return std::this_thread::get_id() == dialogThread_; }

    Workers workers_;
    std::thread::id dialogThread_;
    std::deque<MessageAnswer> answers_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task*> pending_;
    bool workerEnded_ = false;
};

}  // namespace tamro::testing
