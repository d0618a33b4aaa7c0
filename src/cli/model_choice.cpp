#include "model_choice.h"

#include <charconv>
#include <iostream>

#include "address_sharing_text.h"
#include "exit_status.h"
#include "platform/text.h"
#include "protocol/vocabulary.h"
#include "setting_flags.h"

namespace tamro::cli {

namespace {

// The model list position that `choice` names: a name as the list shows it
// (read from the file's code page), else a position. -1 when nothing fits.
std::int32_t findModel(const Form& form, const std::string& choice) {
    const auto& names = form.items(ControlId::modelCombo);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == choice) {
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

std::string controlTitle(ControlId id) {
    const TemplateItem* item = findControl(id);
    std::string label = item != nullptr ? std::string(item->label) : std::string();
    // The window's own decorations: a mnemonic "(&E)" and a closing colon.
    if (const std::size_t mnemonic = label.find("(&"); mnemonic != std::string::npos) {
        label.erase(mnemonic);
    }
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) label.pop_back();
    for (const SettingFlag& flag : settingFlags) {
        if (flag.control == id) {
            return (label.empty() ? std::string(flag.help) : "\"" + label + "\"") + " (--" +
                   std::string(flag.name) + ")";
        }
    }
    if (label.empty()) return "a control of the dialog";
    return "\"" + label + "\"" + (controlKind(id) == ControlKind::pushButton ? " button" : "");
}

std::string disabledReason(const SetupDialog& dialog, ControlId id) {
    if (!dialog.form().visible(id)) return "it is not shown";
    const ModelRecord* model = dialog.selectedModel();
    const std::string name = model != nullptr ? "model " + fromCodePage932(model->name) : "the model";
    switch (dialog.offReason(id)) {
        case OffReason::offSubnet:
            return "the device is outside the adapter's subnet: only its new address (--ip) can "
                   "be given";
        case OffReason::sharedAddress: return sharedAddressReason(dialog);
        case OffReason::noDeviceRead: return "no device is selected";
        case OffReason::automaticAddress:
            return "the automatic address (--dhcp on) switches the address fields off";
        case OffReason::modelFixedPort:
            return model != nullptr ? name + " fixes the port at " + std::to_string(model->fixedPort)
                                    : name + " fixes the port";
        case OffReason::modelFixedSerial: return name + " fixes the serial settings";
        case OffReason::modelFixedPins: return name + " fixes the control pins";
        case OffReason::modelNoClientMode: return name + " has no client mode";
        case OffReason::modelFixedConnect: return name + " fixes the connect condition";
        case OffReason::udpProtocol:
            return "UDP has no connect condition (it stays at " + std::string(connectTexts[0]) + ")";
        case OffReason::noConnectCondition:
            return "TCP with " + std::string(connectTexts[0]) + " (no connection) has no destination";
        case OffReason::afterWrite: return "the form stays off after a write until a device is selected";
        case OffReason::busy: return "the dialog is busy";
        case OffReason::noModels: return "no models were loaded";
        case OffReason::none: break;
    }
    return "the dialog has it switched off";
}

}  // namespace tamro::cli
