#include "show_write_commands.h"


#include <algorithm>
#include <array>
#include <cstddef>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "argument_text.h"
#include "device_json.h"
#include "platform/ipv4.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "protocol/device_search.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"
#include "ui/dialog_messages.h"

namespace tamro::cli {

namespace {

// --- setting flags ------------------------------------------------------------

// What an operator does to a control to give it a value.
enum class Action {
    mark,     // click the check box when its mark differs
    choose,   // pick a list entry
    address,  // type the four fields
    type,     // replace an edit's text
};

// Words in list order: the word at position k picks entry k.
constexpr std::array<std::string_view, 2> markWords = {"off", "on"};
constexpr std::array<std::string_view, 2> protocolWords = {"tcp", "udp"};
constexpr std::array<std::string_view, 3> connectWords = {"none", "serial", "power-on"};
constexpr std::array<std::string_view, 3> parityWords = {"none", "odd", "even"};
constexpr std::array<std::string_view, 4> flowWords = {"none", "xon-xoff", "cts-rts",
                                                       "xon-xoff-lan"};
constexpr std::array<std::string_view, 5> packWords = {"off", "12", "52", "250", "5000"};
static_assert(protocolWords.size() == protocolTexts.size());
static_assert(connectWords.size() == connectTexts.size());
static_assert(parityWords.size() == parityTexts.size());
static_assert(flowWords.size() == flowTexts.size());
static_assert(packWords.size() == packTexts.size());

struct SettingFlag {
    std::string_view name;
    ControlId control;
    Action action;
    std::span<const std::string_view> words;
    std::string_view help;
};

// In the order a person works through the window: the address mode and
// the protocol first, since they decide what else can be edited.
constexpr std::array<SettingFlag, 16> settingFlags = {{
    {"dhcp", ControlId::dhcpCheck, Action::mark, markWords, "Automatic address"},
    {"protocol", ControlId::protocolCombo, Action::choose, protocolWords, "Protocol"},
    {"connect", ControlId::connectCombo, Action::choose, connectWords, "Connect condition"},
    {"ip", ControlId::ipAddressCtrl, Action::address, {}, "IP address to set (dotted)"},
    {"mask", ControlId::netmaskCtrl, Action::address, {}, "Subnet mask"},
    {"gateway", ControlId::gatewayCtrl, Action::address, {}, "Default gateway"},
    {"remote-ip", ControlId::remoteIpCtrl, Action::address, {}, "Destination address"},
    {"port", ControlId::portEdit, Action::type, {}, "Local port"},
    {"remote-port", ControlId::remotePortEdit, Action::type, {}, "Destination port"},
    {"keep-alive", ControlId::keepAliveEdit, Action::type, {}, "Keep-alive in seconds"},
    {"baud", ControlId::baudCombo, Action::choose, baudTexts, "Baud rate"},
    {"data-bits", ControlId::dataBitsCombo, Action::choose, dataBitsTexts, "Data bits"},
    {"parity", ControlId::parityCombo, Action::choose, parityWords, "Parity"},
    {"stop-bits", ControlId::stopBitsCombo, Action::choose, stopBitsTexts, "Stop bits"},
    {"flow", ControlId::flowCombo, Action::choose, flowWords, "Flow control"},
    {"pack", ControlId::packCombo, Action::choose, packWords, "Pack control (off, idle gap in ms)"},
}};

// A dotted text as the four fields an operator types: "" blanks all four,
// an empty part blanks one. Nothing, with `problem` set, for any other text.
std::optional<AddressFields> parseAddressFields(std::string_view text, std::string& problem) {
    AddressFields fields;
    if (text.empty()) return fields;
    const auto typed = readDottedFields(text, true, problem);
    if (!typed) return std::nullopt;
    fields.fields = *typed;
    return fields;
}

// Gives one flag's value to its control, as a user would. 0, or 2 with the
// reason on stderr when the control takes no input now or does not take
// the value as given.
int applySetting(SetupDialog& dialog, const DeviceRecord& device, const SettingFlag& flag,
                 const std::string& value) {
    Form& form = dialog.form();
    const std::string where = "tamroctl: --" + std::string(flag.name) + ": ";
    if (!form.takesUserInput(flag.control)) {
        std::cerr << where << controlTitle(flag.control) << " is disabled: "
                  << disabledReason(dialog, device, flag.control) << '\n';
        return usageErrorStatus;
    }
    switch (flag.action) {
        case Action::mark: {
            const bool marked = value == markWords[1];
            if (form.checked(flag.control) != marked) form.userClick(flag.control);
            return 0;
        }
        case Action::choose: {
            const auto word = std::find(flag.words.begin(), flag.words.end(), value);
            form.userSelect(flag.control, static_cast<std::int32_t>(word - flag.words.begin()));
            return 0;
        }
        case Action::address: {
            std::string problem;
            const auto fields = parseAddressFields(value, problem);
            if (!fields) return usageErrorStatus;  // checked before the search
            if (form.userSetAddress(flag.control, *fields) != UserInput::accepted) {
                std::cerr << where << controlTitle(flag.control) << " took "
                          << form.text(flag.control) << ": a field holds at most 255\n";
                return usageErrorStatus;
            }
            return 0;
        }
        case Action::type: {
            if (form.userReplaceText(flag.control, value) != UserInput::accepted) {
                const std::int32_t limit = form.textLimit(flag.control);
                std::cerr << where << controlTitle(flag.control) << " took \""
                          << form.text(flag.control) << "\" of \"" << value
                          << "\": it takes digits only";
                if (limit > 0) std::cerr << ", at most " << limit;
                std::cerr << '\n';
                return usageErrorStatus;
            }
            return 0;
        }
    }
    return 0;
}

// --- show -----------------------------------------------------------------------

nlohmann::ordered_json controlJson(const Form& form, ControlId id) {
    nlohmann::ordered_json control;
    control["enabled"] = form.enabled(id);
    control["visible"] = form.visible(id);
    const ControlKind kind = controlKind(id);
    control["text"] = toDisplayText(form.text(id));
    switch (kind) {
        case ControlKind::combo:
        case ControlKind::list: {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (const std::string& item : form.items(id)) items.push_back(toDisplayText(item));
            control["selection"] = form.selection(id);
            control["items"] = std::move(items);
            break;
        }
        case ControlKind::checkBox: control["checked"] = form.checked(id); break;
        case ControlKind::address: {
            nlohmann::ordered_json fields = nlohmann::ordered_json::array();
            for (const std::int32_t field : form.address(id).fields) {
                fields.push_back(field < 0 ? nlohmann::ordered_json(nullptr)
                                           : nlohmann::ordered_json(field));
            }
            control["fields"] = std::move(fields);
            break;
        }
        default: break;
    }
    return control;
}

nlohmann::ordered_json formJson(const Form& form) {
    nlohmann::ordered_json controls;
    for (const ControlId id : numberedControls()) {
        controls[std::string(controlName(id))] = controlJson(form, id);
    }
    return controls;
}

// A control's value as the operator reads it; "-" for nothing.
std::string shownValue(const Form& form, ControlId id) {
    std::string text;
    switch (controlKind(id)) {
        case ControlKind::checkBox: return form.checked(id) ? "on" : "off";
        case ControlKind::address: {
            const AddressFields fields = form.address(id);
            if (fields.filledCount() == 0) return "-";
            for (std::size_t i = 0; i < 4; ++i) {
                if (i > 0) text += '.';
                if (fields.fields[i] >= 0) text += std::to_string(fields.fields[i]);
            }
            return text;
        }
        default: text = toDisplayText(form.text(id)); break;
    }
    return text.empty() ? "-" : text;
}

// The current-setting text on the same row as `item`, if it has one.
const TemplateItem* currentTextFor(const TemplateItem& item) {
    for (const TemplateItem& other : templateItems()) {
        if (other.numbered() && other.area == Area::current && other.label == item.label) {
            return &other;
        }
    }
    return nullptr;
}

// The address box and the settings column, as the window lays them out:
// "label current -> new", the controls switched off marked.
void printForm(const Form& form, const DeviceRecord& device, std::ostream& out) {
    out << deviceListEntry(device);
    if (device.configured != 1) out << "  (outside the adapter's subnet: address assignment only)";
    out << '\n';
    if (form.itemCount(ControlId::modelCombo) > 0) {
        out << findControl(ControlId::modelCombo)->label << ": "
            << shownValue(form, ControlId::modelCombo) << '\n';
    }
    for (const TemplateItem& item : templateItems()) {
        if (!item.numbered() || !form.visible(item.id)) continue;
        if (item.area != Area::addressBox && item.area != Area::newSetting) continue;
        if (item.kind == ControlKind::pushButton) continue;
        std::string label(item.label);
        if (!label.ends_with(":")) label += ':';
        out << "  " << label << ' ';
        if (const TemplateItem* current = currentTextFor(item)) {
            const std::string now = form.text(current->id);
            out << (now.empty() ? "-" : toDisplayText(now)) << " -> ";
        }
        out << shownValue(form, item.id);
        if (!form.enabled(item.id)) out << "  (disabled)";
        out << '\n';
    }
}

struct ShowOptions {
    DeviceChoice choice;
    std::string model;
    CLI::Option* modelOption = nullptr;
    bool json = false;
};

int runShow(const ShowOptions& options) {
    if (!checkDeviceText(options.choice.device)) return usageErrorStatus;
    CommandFrontEnd frontEnd;
    const auto print = [&](SetupDialog& dialog, const DeviceRecord& device) {
        if (options.json) {
            nlohmann::ordered_json result;
            result["device"] = deviceJson(device);
            result["form"] = formJson(dialog.form());
            std::cout << result.dump(2) << '\n';
        } else {
            printForm(dialog.form(), device, std::cout);
        }
        return 0;
    };
    return withSelectedDevice(options.choice, frontEnd, print);
}

// --- write ----------------------------------------------------------------------

struct WriteOptions {
    DeviceChoice choice;
    std::string model;
    CLI::Option* modelOption = nullptr;
    bool yes = false;
    std::array<std::string, settingFlags.size()> values;
    std::array<CLI::Option*, settingFlags.size()> given{};
};

// OK only when --yes was given or a person at the terminal says so.
bool confirmWrite(bool yes) {
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

int runWrite(const WriteOptions& options) {
    if (!checkDeviceText(options.choice.device)) return usageErrorStatus;
    // Refuse what no control could take before anything is sent, in the
    // words that were typed.
    bool refused = false;
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (options.given[i]->count() == 0) continue;
        const std::string& value = options.values[i];
        const std::string where = "tamroctl: --" + std::string(settingFlags[i].name) + ": ";
        std::string problem;
        if (settingFlags[i].action == Action::address && !parseAddressFields(value, problem)) {
            std::cerr << where << problem << " (or \"\" for a blank address)\n";
            refused = true;
        } else if (settingFlags[i].action == Action::type &&
                   value.find_first_not_of("0123456789") != std::string::npos) {
            std::cerr << where << value << ": give a number (digits only)\n";
            refused = true;
        }
    }
    if (refused) return usageErrorStatus;

    CommandFrontEnd frontEnd([&options](std::string_view) { return confirmWrite(options.yes); });
    frontEnd.setResultTexts({writeCompleteMessage});
    return withSelectedDevice(
        options.choice, frontEnd, [&](SetupDialog& dialog, const DeviceRecord& device) {
            for (std::size_t i = 0; i < settingFlags.size(); ++i) {
                if (options.given[i]->count() == 0) continue;
                const int status = applySetting(dialog, device, settingFlags[i], options.values[i]);
                if (status != 0) return status;
            }
            Form& form = dialog.form();
            if (!form.takesUserInput(ControlId::writeButton)) {
                std::cerr << "tamroctl: " << controlTitle(ControlId::writeButton)
                          << " is disabled: "
                          << disabledReason(dialog, device, ControlId::writeButton) << '\n';
                return usageErrorStatus;
            }
            const std::size_t before = frontEnd.shownCount();
            form.userClick(ControlId::writeButton);
            // The worker has run by now: its last word tells how it went.
            if (frontEnd.shownSince(before, writeCompleteMessage)) return 0;
            if (frontEnd.lastConfirmation() == MessageAnswer::cancel) {
                std::cerr << "tamroctl: nothing was written\n";
            }
            return 1;
        });
}

}  // namespace

int runDevicePing(const std::string& address, const DeviceChoice& choice) {
    const auto fields = parseDottedText(address);
    if (!fields) {
        std::cerr << "tamroctl: ADDRESS " << dottedProblem(address) << '\n';
        return usageErrorStatus;
    }
    if (!checkDeviceText(choice.device)) return usageErrorStatus;
    CommandFrontEnd frontEnd;
    frontEnd.setResultTexts({pingNoAnswerMessage, pingAnsweredMessage, pingConflictMessage});
    const auto probe = [&](SetupDialog& dialog, const DeviceRecord& device) {
        Form& form = dialog.form();
        for (const ControlId id : {ControlId::ipAddressCtrl, ControlId::pingButton}) {
            if (!form.takesUserInput(id)) {
                std::cerr << "tamroctl: " << controlTitle(id)
                          << " is disabled: " << disabledReason(dialog, device, id) << '\n';
                return usageErrorStatus;
            }
        }
        form.userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(*fields));
        form.userClick(ControlId::pingButton);
        return 0;
    };
    return withSelectedDevice(choice, frontEnd, probe);
}

// DEVICE, --adapter, --models and --model, as show and write both take them.
// Returns the --model option, whose count tells whether a model was named.
static CLI::Option* addDeviceChoiceOptions(CLI::App& command, DeviceChoice& choice, std::string& model) {
    command.add_option("DEVICE", choice.device,
                       "The device: its MAC address, the IP address the device list shows, "
                       "both as \"MAC / IP\", or its list position as #N (from 0)")
        ->required();
    command.add_option("--adapter", choice.adapter,
                       "Search on this adapter: address, interface name or list position");
    command.add_option("--models", choice.models,
                       "The window's command-line text: a model file path when it contains \".dat\"");
    return command.add_option("--model", model,
                              "Choose this model (name or list position) after selecting the device");
}

void addShowWriteCommands(CLI::App& app, int& exitCode) {
    auto show = std::make_shared<ShowOptions>();
    CLI::App* showCommand = app.add_subcommand(
        "show", "Select a device in the setup dialog and show what its form holds.");
    show->modelOption = addDeviceChoiceOptions(*showCommand, show->choice, show->model);
    showCommand->add_flag("--json", show->json, "Print one JSON object");
    showCommand->callback([show, &exitCode] {
        if (show->modelOption->count() > 0) show->choice.model = show->model;
        exitCode = runShow(*show);
    });

    auto write = std::make_shared<WriteOptions>();
    CLI::App* writeCommand = app.add_subcommand(
        "write", "Change a device's settings through the setup dialog and write them.");
    write->modelOption = addDeviceChoiceOptions(*writeCommand, write->choice, write->model);
    writeCommand->add_flag("--yes", write->yes, "Answer the confirmation with OK");
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        const SettingFlag& flag = settingFlags[i];
        CLI::Option* option =
            writeCommand->add_option("--" + std::string(flag.name), write->values[i],
                                     std::string(flag.help));
        if (!flag.words.empty()) {
            std::vector<std::string> words(flag.words.begin(), flag.words.end());
            option->check(CLI::IsMember(words));
        }
        write->given[i] = option;
    }
    writeCommand->callback([write, &exitCode] {
        if (write->modelOption->count() > 0) write->choice.model = write->model;
        exitCode = runWrite(*write);
    });
}

}  // namespace tamro::cli
