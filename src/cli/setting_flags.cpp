#include "setting_flags.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "platform/ipv4.h"

#include "argument_text.h"
#include "dialog_session.h"
#include "model_choice.h"

namespace tamro::cli {

const SettingFlag* findSettingKey(std::string_view key) {
    const auto flag = std::find_if(settingFlags.begin(), settingFlags.end(),
                                   [key](const SettingFlag& each) { return each.key == key; });
    return flag == settingFlags.end() ? nullptr : &*flag;
}

std::optional<AddressFields> parseAddressFields(std::string_view text, std::string& problem) {
    AddressFields fields;
    if (text.empty()) return fields;
    const auto typed = readDottedFields(text, true, problem);
    if (!typed) return std::nullopt;
    fields.fields = *typed;
    return fields;
}

std::string settingValueProblem(const SettingFlag& flag, std::string_view value) {
    std::string problem;
    switch (flag.action) {
        case Action::address:
            if (!parseAddressFields(value, problem)) return problem + " (or \"\" for a blank address)";
            return "";
        case Action::type:
            if (value.find_first_not_of("0123456789") != std::string_view::npos) {
                return std::string(value) + ": give a number (digits only)";
            }
            return "";
        case Action::mark:
        case Action::choose:
            if (std::find(flag.words.begin(), flag.words.end(), value) != flag.words.end()) return "";
            problem = std::string(value) + ": give one of";
            for (const std::string_view word : flag.words) problem += " " + std::string(word);
            return problem;
    }
    return "";
}

std::string applySetting(SetupDialog& dialog, const SettingFlag& flag,
                         const std::string& value) {
    Form& form = dialog.form();
    if (!form.takesUserInput(flag.control)) {
        return controlTitle(flag.control) + " is disabled: " +
               disabledReason(dialog, flag.control);
    }
    switch (flag.action) {
        case Action::mark: {
            const bool marked = value == markWords[1];
            if (form.checked(flag.control) != marked) form.userClick(flag.control);
            return "";
        }
        case Action::choose: {
            const auto word = std::find(flag.words.begin(), flag.words.end(), value);
            if (word == flag.words.end()) return settingValueProblem(flag, value);
            form.userSelect(flag.control, static_cast<std::int32_t>(word - flag.words.begin()));
            return "";
        }
        case Action::address: {
            std::string problem;
            const auto fields = parseAddressFields(value, problem);
            if (!fields) return problem;
            if (form.userSetAddress(flag.control, *fields) != UserInput::accepted) {
                return controlTitle(flag.control) + " took " + form.text(flag.control) +
                       ": a field holds at most 255";
            }
            return "";
        }
        case Action::type: {
            if (form.userReplaceText(flag.control, value) != UserInput::accepted) {
                const std::int32_t limit = form.textLimit(flag.control);
                std::string problem = controlTitle(flag.control) + " took \"" +
                                      form.text(flag.control) + "\" of \"" + value +
                                      "\": it takes digits only";
                if (limit > 0) problem += ", at most " + std::to_string(limit);
                return problem;
            }
            return "";
        }
    }
    return "";
}

std::optional<std::string> settingValue(const Form& form, const SettingFlag& flag) {
    if (!form.takesUserInput(flag.control)) return std::nullopt;
    switch (flag.action) {
        case Action::mark: return std::string(markWords[form.checked(flag.control) ? 1 : 0]);
        case Action::choose: {
            const std::int32_t selection = form.selection(flag.control);
            if (selection < 0 || static_cast<std::size_t>(selection) >= flag.words.size()) {
                return std::nullopt;
            }
            return std::string(flag.words[static_cast<std::size_t>(selection)]);
        }
        case Action::address: {
            const AddressFields fields = form.address(flag.control);
            if (fields.filledCount() == 0) return std::string();
            std::string text;
            for (std::size_t i = 0; i < 4; ++i) {
                if (i > 0) text += '.';
                if (fields.fields[i] >= 0) text += std::to_string(fields.fields[i]);
            }
            return text;
        }
        case Action::type: {
            std::string text = form.text(flag.control);
            if (text.empty()) return std::nullopt;
            return text;
        }
    }
    return std::nullopt;
}

}  // namespace tamro::cli

namespace tamro::cli {

namespace {

std::optional<std::string> wordAt(std::span<const std::string_view> words, std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= words.size()) return std::nullopt;
    return std::string(words[static_cast<std::size_t>(position)]);
}

}  // namespace

std::optional<std::string> reportedValue(const DeviceRecord& device, const SettingFlag& flag) {
    const auto number = [](std::int32_t value) { return std::to_string(value); };
    switch (flag.control) {
        case ControlId::dhcpCheck: return wordAt(flag.words, device.dhcp == 1 ? 1 : 0);
        case ControlId::protocolCombo: return wordAt(flag.words, protocolListPosition(device.protocol));
        case ControlId::connectCombo:
            return wordAt(flag.words, connectListPosition(device.connectMode & 0x0F));
        case ControlId::ipAddressCtrl: return toDottedText(device.ipAddress);
        case ControlId::netmaskCtrl: return toDottedText(device.netmask);
        case ControlId::gatewayCtrl: return toDottedText(device.gateway);
        // The dialog leaves a zero destination blank.
        case ControlId::remoteIpCtrl:
            return device.remoteIp == Ipv4{} ? std::string() : toDottedText(device.remoteIp);
        case ControlId::portEdit: return number(device.localPort);
        case ControlId::remotePortEdit:
            return device.remotePort == 0 ? std::string() : number(device.remotePort);
        case ControlId::keepAliveEdit: return number(device.keepAlive);
        case ControlId::baudCombo: return wordAt(flag.words, baudListPosition(device.baudRate));
        case ControlId::dataBitsCombo:
            return wordAt(flag.words, dataBitsListPosition(device.dataBits));
        case ControlId::parityCombo: return wordAt(flag.words, parityListPosition(device.parity));
        case ControlId::stopBitsCombo:
            return wordAt(flag.words, stopBitsListPosition(device.stopBits));
        case ControlId::flowCombo: return wordAt(flag.words, flowListPosition(device.flowControl));
        case ControlId::packCombo: return wordAt(flag.words, packListPosition(device.packControl));
        default: return std::nullopt;
    }
}

}  // namespace tamro::cli
