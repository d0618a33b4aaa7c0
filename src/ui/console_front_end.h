#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ui/front_end.h"

namespace tamro {

// A front end without a window, for driving the dialog from a command line:
// every message box is printed, OK boxes answer themselves, a confirmation
// is answered by `confirm` (Cancel without one), and the write worker runs
// at once on the caller's thread, so a press of the write button returns
// with the write done and its outcome shown.
class ConsoleFrontEnd final : public FrontEnd {
public:
    using Confirmation = std::function<MessageAnswer(std::string_view text)>;

    struct Message {
        std::string text;
        MessageButtons buttons = MessageButtons::ok;
        MessageAnswer answer = MessageAnswer::ok;
    };

    // Messages go to `out`, one per line, made fit for display.
    explicit ConsoleFrontEnd(std::ostream& out, Confirmation confirm = {});

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons) override;
    void endDialog(int result) override;
    void startWorker(std::function<void()> work) override;
    void runOnDialogThread(std::function<void()> task) override;

    // Every message shown so far, in order, with its answer.
    const std::vector<Message>& messages() const { return messages_; }
    // The result the dialog ended with, if it has ended.
    std::optional<int> endResult() const { return endResult_; }

private:
    std::ostream& out_;
    Confirmation confirm_;
    std::vector<Message> messages_;
    std::optional<int> endResult_;
};

}  // namespace tamro
