#include "dialog_session.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <initializer_list>
#include <iostream>
#include <utility>

#include "adapter_choice.h"
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

// The list position of the device the text names, -1 when none is listed.
// An address may be shown by more than one entry; the MAC tells them apart.
std::int32_t findListedDevice(const Form& form, const DeviceTable& table, const std::string& text,
                              bool& ambiguous) {
    const auto mac = parseMacText(text);
    const auto address = parseDottedText(text);
    std::int32_t found = -1;
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        const std::string shown(record.ipText.data(),
                                std::find(record.ipText.begin(), record.ipText.end(), '\0'));
        const bool matches = mac ? record.mac == *mac : parseDottedText(shown) == address;
        if (!matches) continue;
        if (found >= 0) {
            ambiguous = !mac;
            return found;
        }
        found = i;
    }
    return found;
}

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
    (result ? std::cout : std::cerr) << toDisplayText(text) << std::endl;
    shown_.emplace_back(text);
    if (buttons == MessageButtons::ok) return MessageAnswer::ok;
    const MessageAnswer answer =
        confirm_ && confirm_(text) ? MessageAnswer::ok : MessageAnswer::cancel;
    lastConfirmation_ = answer;
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

bool checkDeviceText(const std::string& device) {
    if (parseMacText(device) || parseDottedText(device)) return true;
    std::cerr << "tamroctl: give the device as a MAC address (02-00-00-01-02-03) or the IPv4 "
                 "address the device list shows, not \""
              << device << "\"\n";
    return false;
}

int withSelectedDevice(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, const DeviceRecord&)>& work) {
    // The window program's default model file, not one named after tamroctl.
    SystemDialogServices services(windowProgramPath());
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
        if (frontEnd.shownSince(before, communicationErrorMessage)) return;

        bool ambiguous = false;
        const std::int32_t position = findListedDevice(form, devices, choice.device, ambiguous);
        if (position < 0) {
            std::cerr << "tamroctl: no device " << choice.device << " was found on " << adapterText
                      << " (" << form.itemCount(ControlId::deviceList) << " listed)\n";
            return;
        }
        if (ambiguous) {
            std::cerr << "tamroctl: more than one device answers at " << choice.device
                      << "; give its MAC address\n";
            return;
        }
        form.userSelect(ControlId::deviceList, position);
        const DeviceRecord& device = devices.devices[static_cast<std::size_t>(position)];
        std::cerr << "selected " << deviceListEntry(device) << '\n';

        if (choice.model) {
            if (!form.takesUserInput(ControlId::modelCombo)) {
                std::cerr << "tamroctl: --model: no models were loaded\n";
                status = usageErrorStatus;
                return;
            }
            const std::int32_t model = findModel(form, *choice.model);
            if (model < 0) {
                std::cerr << "tamroctl: --model: no model \"" << *choice.model
                          << "\" (give its name or list position; see tamroctl models)\n";
                status = usageErrorStatus;
                return;
            }
            form.userSelect(ControlId::modelCombo, model);
        }
        status = work(dialog, device);
    });
    return status;
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
