#include "command_front_end.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "platform/text.h"

namespace tamro::cli {

CommandFrontEnd::CommandFrontEnd(Confirmation confirm) : confirm_(std::move(confirm)) {}

MessageAnswer CommandFrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    const bool result =
        std::find(resultTexts_.begin(), resultTexts_.end(), text) != resultTexts_.end();
    // Model names may arrive in the device world's code page.
    if (!quiet_) (result ? std::cout : std::cerr) << text << std::endl;
    if (buttons == MessageButtons::ok) return MessageAnswer::ok;
    return confirm_ && confirm_(text) ? MessageAnswer::ok : MessageAnswer::cancel;
}

// The start-up failures have shown their messages; the caller sees that the
// dialog never ran.
void CommandFrontEnd::endDialog(int /*result*/) {}

void CommandFrontEnd::startWorker(std::function<void()> work) {
    if (work) work();
}

// The worker ran on this very thread.
void CommandFrontEnd::runOnDialogThread(std::function<void()> task) {
    if (task) task();
}

}  // namespace tamro::cli
