#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/front_end.h"

namespace tamro::cli {

// The dialog's message boxes on a terminal. Every message is printed as it
// is shown: the texts that are a command's result on stdout, all others on
// stderr. OK boxes answer themselves; a confirmation is answered by
// `confirm` (Cancel without one). The write worker runs at once on the
// caller's thread, so a press of the write button returns with the write
// done and its outcome shown.
class CommandFrontEnd final : public FrontEnd {
public:
    using Confirmation = std::function<bool(std::string_view text)>;

    explicit CommandFrontEnd(Confirmation confirm = {});

    void setResultTexts(std::vector<std::string_view> texts) { resultTexts_ = std::move(texts); }
    // While quiet, messages are kept but not printed: a rehearsal of the
    // write's checks that the operator needs to see only when one fails.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons) override;
    void endDialog(int result) override;
    void startWorker(std::function<void()> work) override;
    void runOnDialogThread(std::function<void()> task) override;

private:
    Confirmation confirm_;
    std::vector<std::string_view> resultTexts_;
    bool quiet_ = false;
};

}  // namespace tamro::cli
