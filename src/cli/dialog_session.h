#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/device_table.h"
#include "ui/dialog_services.h"
#include "ui/front_end.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

inline constexpr int usageErrorStatus = 2;

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

    // How many messages have been shown so far, and whether `text` was among
    // those from position `from` on.
    std::size_t shownCount() const { return shown_.size(); }
    bool shownSince(std::size_t from, std::string_view text) const;
    // The texts shown from position `from` on.
    std::vector<std::string> shownFrom(std::size_t from) const;
    // The answer to the last confirmation, if one was asked.
    std::optional<MessageAnswer> lastConfirmation() const { return lastConfirmation_; }
    // How many confirmations have been asked so far.
    std::size_t confirmationCount() const { return confirmations_; }

private:
    Confirmation confirm_;
    std::vector<std::string_view> resultTexts_;
    std::vector<std::string> shown_;
    std::optional<MessageAnswer> lastConfirmation_;
    bool quiet_ = false;
    std::size_t confirmations_ = 0;
};

// Which device to work on, and how to get there.
struct DeviceChoice {
    std::string device;   // as DeviceText reads it
    std::string adapter;  // address, interface name or list position; "" is 0
    std::string models;   // the window's command-line text
    std::optional<std::string> model;  // name or list position
};

// A DEVICE text: a MAC address, the IP address the list shows, both as the
// list entry shows them ("MAC / IP", blanks optional), or "#N", the list
// position from 0. Each given part must match.
struct DeviceText {
    std::optional<std::array<std::uint8_t, 6>> mac;
    std::optional<Ipv4> address;
    std::optional<std::int32_t> position;
};
std::optional<DeviceText> parseDeviceText(std::string_view text);

// Refuses a DEVICE text that is neither a MAC nor an IPv4 address, before
// anything is sent. False with the reason on stderr.
bool checkDeviceText(const std::string& device);

// Opens the dialog as the window starts, then does what an operator does:
// picks the adapter, presses search, selects the device and (when asked)
// chooses the model, each as a user's action. Then runs `work` on the open
// dialog with the selected record and returns its status; 1 when the
// dialog ends at start, the search fails, or the device is listed not
// exactly once (nothing is sent then); 2 when the model choice cannot be
// made.
int withSelectedDevice(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, const DeviceRecord&)>& work);

// The dialog started as the window starts, the adapter picked and Search
// pressed; then `work` on the listed devices. 1 when the dialog ends at
// start or the search fails, else what `work` returns. `choice.device` and
// `choice.model` are not used.
int withSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, DeviceTable&,
                                               const std::string& adapterText)>& work);

// The list positions of every listed device the text names.
std::vector<std::int32_t> matchingDevices(const Form& form, const DeviceTable& table,
                                          const DeviceText& wanted);

// "  \"MAC / IP\"  or  #N" for each position: how to name one of several.
void listCandidates(const DeviceTable& devices, const std::vector<std::int32_t>& matches,
                    std::ostream& out);

// Chooses the model named (name or list position) as a user would. 0, or 2
// with the reason on stderr.
int chooseModel(Form& form, const std::string& model);

// OK when `yes`, or when a person at the terminal says so.
bool confirmAtTerminal(bool yes);

// "portEdit (ポート番号:)": how a refusal names a control.
std::string controlTitle(ControlId id);

// Why the dialog has `id` switched off just now, as far as the form and the
// chosen model tell; the rules themselves are the dialog's.
std::string disabledReason(const SetupDialog& dialog, const DeviceRecord& device, ControlId id);

}  // namespace tamro::cli
