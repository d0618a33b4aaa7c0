#include "ui/console_front_end.h"

#include <utility>

#include "platform/text.h"

namespace tamro {

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, Confirmation confirm)
    : out_(out), confirm_(std::move(confirm)) {}

MessageAnswer ConsoleFrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    // Model names may arrive in the device world's code page.
    out_ << text << std::endl;
    MessageAnswer answer = MessageAnswer::ok;
    if (buttons == MessageButtons::okCancel) {
        answer = confirm_ ? confirm_(text) : MessageAnswer::cancel;
    }
    messages_.push_back({std::string(text), buttons, answer});
    return answer;
}

void ConsoleFrontEnd::endDialog(int result) { endResult_ = result; }

void ConsoleFrontEnd::startWorker(std::function<void()> work) {
    if (work) work();
}

// The worker runs on the dialog's own thread here, so the task runs in place.
void ConsoleFrontEnd::runOnDialogThread(std::function<void()> task) {
    if (task) task();
}

}  // namespace tamro
