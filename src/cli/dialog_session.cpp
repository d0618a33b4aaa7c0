#include "dialog_session.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <initializer_list>
#include <iostream>
#include <utility>
#include <vector>

#include "adapter_choice.h"
#include "device_json.h"
#include "search_progress.h"
#include "platform/terminal.h"
#include "models_command.h"
#include "platform/ipv4.h"
#include "platform/text.h"
#include "protocol/device_search.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"

namespace tamro::cli {

namespace {

constexpr std::int32_t noConstraint = -1;

bool isOneOf(ControlId id, std::initializer_list<ControlId> ids) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

const ModelRecord* chosenModel(const SetupDialog& dialog) {
    const std::int32_t position = dialog.form().selection(ControlId::modelCombo);
    if (position < 0 || position >= std::min(dialog.models().modelCount, maxModels)) return nullptr;
    return &dialog.models().models[static_cast<std::size_t>(position)];
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string shownAddress(const DeviceRecord& record) {
    return std::string(record.ipText.data(),
                       std::find(record.ipText.begin(), record.ipText.end(), '\0'));
}

}  // namespace

std::vector<std::int32_t> matchingDevices(const Form& form, const DeviceTable& table,
                                          const DeviceText& wanted) {
    std::vector<std::int32_t> matches;
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    if (wanted.position) {
        if (*wanted.position < count) matches.push_back(*wanted.position);
        return matches;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (wanted.mac && record.mac != *wanted.mac) continue;
        if (wanted.address && parseDottedText(shownAddress(record)) != wanted.address) continue;
        matches.push_back(i);
    }
    return matches;
}

namespace {

// The model list position that `choice` names: a name as the list shows it,
// else a position. -1 when nothing fits.
std::int32_t findModel(const Form& form, const std::string& choice) {
    const auto& names = form.items(ControlId::modelCombo);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == choice || toDisplayText(names[i]) == choice) {
            return static_cast<std::int32_t>(i);
        }
    }
    std::int32_t position = -1;
    const auto [end, failure] =
        std::from_chars(choice.data(), choice.data() + choice.size(), position);
    if (failure != std::errc{} || end != choice.data() + choice.size()) return -1;
    return position >= 0 && position < form.itemCount(ControlId::modelCombo) ? position : -1;
}

}  // namespace

// --- front end ----------------------------------------------------------------

CommandFrontEnd::CommandFrontEnd(Confirmation confirm) : confirm_(std::move(confirm)) {}

MessageAnswer CommandFrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    const bool result =
        std::find(resultTexts_.begin(), resultTexts_.end(), text) != resultTexts_.end();
    // Model names may arrive in the device world's code page.
    if (!quiet_) (result ? std::cout : std::cerr) << toDisplayText(text) << std::endl;
    shown_.emplace_back(text);
    if (buttons == MessageButtons::ok) return MessageAnswer::ok;
    const MessageAnswer answer =
        confirm_ && confirm_(text) ? MessageAnswer::ok : MessageAnswer::cancel;
    lastConfirmation_ = answer;
    ++confirmations_;
    return answer;
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

bool CommandFrontEnd::shownSince(std::size_t from, std::string_view text) const {
    return std::find(shown_.begin() + static_cast<std::ptrdiff_t>(std::min(from, shown_.size())),
                     shown_.end(), text) != shown_.end();
}

// --- the session ----------------------------------------------------------------

std::optional<DeviceText> parseDeviceText(std::string_view text) {
    text = trimmed(text);
    DeviceText wanted;
    if (text.starts_with('#')) {
        std::int32_t position = -1;
        const char* end = text.data() + text.size();
        const auto [stop, failure] = std::from_chars(text.data() + 1, end, position);
        if (failure != std::errc{} || stop != end || position < 0 || text.size() == 1) {
            return std::nullopt;
        }
        wanted.position = position;
        return wanted;
    }
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        wanted.mac = parseMacText(trimmed(text.substr(0, slash)));
        wanted.address = parseDottedText(trimmed(text.substr(slash + 1)));
        if (!wanted.mac || !wanted.address) return std::nullopt;
        return wanted;
    }
    if ((wanted.mac = parseMacText(text))) return wanted;
    if ((wanted.address = parseDottedText(text))) return wanted;
    return std::nullopt;
}

bool checkDeviceText(const std::string& device) {
    if (parseDeviceText(device)) return true;
    std::cerr << "tamroctl: \"" << device
              << "\" names no device: give its MAC address (02-00-00-01-02-03), the IPv4 "
                 "address the device list shows, both as the list shows them "
                 "(\"02-00-00-01-02-03 / 10.77.0.20\") or its list position (#0)\n";
    return false;
}

int withSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, DeviceTable&,
                                               const std::string& adapterText)>& work) {
    // The window program's default model file, not one named after tamroctl.
    SystemDialogServices services(windowProgramPath());
    std::vector<DroppedDevice> dropped;
    services.searchObserver.dropped = &dropped;
    SearchProgressLine progress(std::cerr, standardErrorIsTerminal());
    progress.attach(services.searchObserver);
    DeviceTable& devices = processDeviceTable();
    int status = 1;  // stays when the dialog ends at start
    runApplication(frontEnd, services, devices, choice.models, [&](SetupDialog& dialog) {
        Form& form = dialog.form();
        std::string error;
        const std::int32_t adapter = chooseAdapter(dialog.adapters(), choice.adapter, error);
        if (adapter < 0) {
            std::cerr << "tamroctl: " << error << '\n';
            return;
        }
        // The list opens on entry 0; only another entry is a change.
        if (adapter != form.selection(ControlId::adapterCombo)) {
            form.userSelect(ControlId::adapterCombo, adapter);
        }
        const std::string adapterText =
            adapterEntryText(dialog.adapters().adapters[static_cast<std::size_t>(adapter)]);
        std::cerr << "searching on " << adapterText << " ...\n";
        const std::size_t before = frontEnd.shownCount();
        form.userClick(ControlId::searchButton);
        if (frontEnd.shownSince(before, communicationErrorMessage)) {
            const std::string holders = portHolderText();
            if (!holders.empty()) std::cerr << holders << '\n';
            return;
        }
        reportDropped(dropped, form.itemCount(ControlId::deviceList), std::cerr);
        status = work(dialog, devices, adapterText);
    });
    return status;
}

int chooseModel(Form& form, const std::string& model) {
    if (!form.takesUserInput(ControlId::modelCombo)) {
        std::cerr << "tamroctl: --model: no models were loaded\n";
        return usageErrorStatus;
    }
    const std::int32_t position = findModel(form, model);
    if (position < 0) {
        std::cerr << "tamroctl: --model: no model \"" << model
                  << "\" (give its name or list position; see tamroctl models)\n";
        return usageErrorStatus;
    }
    form.userSelect(ControlId::modelCombo, position);
    return 0;
}

void listCandidates(const DeviceTable& devices, const std::vector<std::int32_t>& matches,
                    std::ostream& out) {
    for (const std::int32_t i : matches) {
        const DeviceRecord& record = devices.devices[static_cast<std::size_t>(i)];
        out << "  \"" << deviceListEntry(record) << "\"  or  #" << i << '\n';
    }
}

int withSelectedDevice(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, const DeviceRecord&)>& work) {
    return withSearchedDialog(choice, frontEnd, [&](SetupDialog& dialog, DeviceTable& devices,
                                                    const std::string& adapterText) {
        Form& form = dialog.form();
        const std::optional<DeviceText> wanted = parseDeviceText(choice.device);
        const std::vector<std::int32_t> matches =
            wanted ? matchingDevices(form, devices, *wanted) : std::vector<std::int32_t>{};
        if (matches.empty()) {
            std::cerr << "tamroctl: no device " << choice.device << " was found on " << adapterText
                      << " (" << form.itemCount(ControlId::deviceList) << " listed)\n";
            return 1;
        }
        // A cloned MAC, or short replies read as zeros, can give two entries
        // one MAC; taking the first would write to a device by chance.
        if (matches.size() > 1) {
            std::cerr << "tamroctl: " << matches.size() << " listed devices match "
                      << choice.device << "; nothing was sent. Name one of them:\n";
            listCandidates(devices, matches, std::cerr);
            return 1;
        }
        const std::int32_t position = matches.front();
        form.userSelect(ControlId::deviceList, position);
        const DeviceRecord& device = devices.devices[static_cast<std::size_t>(position)];
        std::cerr << "selected " << deviceListEntry(device) << '\n';
        if (choice.model) {
            if (const int status = chooseModel(form, *choice.model); status != 0) return status;
        }
        return work(dialog, device);
    });
}

bool confirmAtTerminal(bool yes) {
    if (yes) return true;
    if (!standardInputIsTerminal()) {
        std::cerr << "tamroctl: not confirmed (give --yes to write without asking)\n";
        return false;
    }
    std::cerr << "Write? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::vector<std::string> CommandFrontEnd::shownFrom(std::size_t from) const {
    return {shown_.begin() + static_cast<std::ptrdiff_t>(std::min(from, shown_.size())),
            shown_.end()};
}

std::string controlTitle(ControlId id) {
    const TemplateItem* item = findControl(id);
    std::string title(controlName(id));
    if (item != nullptr && !item->label.empty()) {
        title += " (" + std::string(item->label) + ")";
    }
    return title;
}

std::string disabledReason(const SetupDialog& dialog, const DeviceRecord& device, ControlId id) {
    const Form& form = dialog.form();
    if (!form.visible(id)) return "it is not shown";
    if (device.configured != 1) {
        return "the device is outside the adapter's subnet: only its new address (--ip) can be "
               "given";
    }
    if (isOneOf(id, {ControlId::ipAddressCtrl, ControlId::netmaskCtrl, ControlId::gatewayCtrl,
                     ControlId::pingButton}) &&
        form.checked(ControlId::dhcpCheck)) {
        return "the automatic address (--dhcp on) switches the address fields off";
    }
    const bool destination = isOneOf(id, {ControlId::remoteIpCtrl, ControlId::remotePortEdit});
    if (const ModelRecord* model = chosenModel(dialog)) {
        const std::string name = "model " + toDisplayText(model->name);
        if (id == ControlId::portEdit && model->fixedPort != noConstraint) {
            return name + " fixes the port at " + std::to_string(model->fixedPort);
        }
        if (isOneOf(id, {ControlId::baudCombo, ControlId::dataBitsCombo, ControlId::parityCombo,
                         ControlId::stopBitsCombo, ControlId::flowCombo}) &&
            model->serialEditable == 0) {
            return name + " fixes the serial settings";
        }
        if ((destination || isOneOf(id, {ControlId::protocolCombo, ControlId::connectCombo})) &&
            model->clientMode == 0) {
            return name + " has no client mode";
        }
    }
    if (id == ControlId::connectCombo && form.selection(ControlId::protocolCombo) == 1) {
        return "UDP has no connect condition (it stays at " + std::string(connectTexts[0]) + ")";
    }
    if (destination && form.selection(ControlId::connectCombo) == 0) {
        return "TCP with " + std::string(connectTexts[0]) + " (no connection) has no destination";
    }
    return "the dialog has it switched off";
}

}  // namespace tamro::cli
