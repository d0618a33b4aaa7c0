#include "address_sharing_text.h"
#include "choice_options.h"
#include "device_text.h"
#include "exit_status.h"
#include "terminal_prompt.h"
#include "model_choice.h"
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
#include "setting_flags.h"
#include "ui/dialog_messages.h"

namespace tamro::cli {

namespace {

// --- show -----------------------------------------------------------------------

nlohmann::ordered_json controlJson(const Form& form, ControlId id) {
    nlohmann::ordered_json control;
    control["enabled"] = form.enabled(id);
    control["visible"] = form.visible(id);
    const ControlKind kind = controlKind(id);
    control["text"] = utf8OrAscii(form.text(id));
    switch (kind) {
        case ControlKind::combo:
        case ControlKind::list: {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (const std::string& item : form.items(id)) items.push_back(utf8OrAscii(item));
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
        default: text = utf8OrAscii(form.text(id)); break;
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
void printForm(const SetupDialog& dialog, const DeviceRecord& device, std::ostream& out) {
    const Form& form = dialog.form();
    out << deviceListEntry(device);
    if (dialog.offReason(ControlId::portEdit) == OffReason::sharedAddress) {
        out << "  (address shared with another device: address assignment only)\n  "
            << sharedAddressReason(dialog);
    } else if (device.configured != 1) {
        out << "  (outside the adapter's subnet: address assignment only)";
    }
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
            out << (now.empty() ? "-" : utf8OrAscii(now)) << " -> ";
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
            result["device"] = deviceJson(device, dialog.selectedDeviceSharesWith());
            result["form"] = formJson(dialog.form());
            std::cout << result.dump(2) << '\n';
        } else {
            printForm(dialog, device, std::cout);
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

int runWrite(const WriteOptions& options) {
    if (!checkDeviceText(options.choice.device)) return usageErrorStatus;
    // Refuse what no control could take before anything is sent, in the
    // words that were typed.
    bool refused = false;
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        // The lists' words are CLI11's to check.
        const SettingFlag& flag = settingFlags[i];
        if (options.given[i]->count() == 0 || !flag.words.empty()) continue;
        const std::string problem = settingValueProblem(flag, options.values[i]);
        if (!problem.empty()) {
            std::cerr << "tamroctl: --" << flag.name << ": " << problem << '\n';
            refused = true;
        }
    }
    if (refused) return usageErrorStatus;

    CommandFrontEnd frontEnd([&options](std::string_view) { return confirmAtTerminal(options.yes); });
    frontEnd.setResultTexts({writeCompleteMessage});
    return withSelectedDevice(
        options.choice, frontEnd, [&](SetupDialog& dialog, const DeviceRecord& /*device*/) {
            for (std::size_t i = 0; i < settingFlags.size(); ++i) {
                if (options.given[i]->count() == 0) continue;
                const std::string problem =
                    applySetting(dialog, settingFlags[i], options.values[i]);
                if (!problem.empty()) {
                    std::cerr << "tamroctl: --" << settingFlags[i].name << ": " << problem << '\n';
                    return usageErrorStatus;
                }
            }
            Form& form = dialog.form();
            if (!form.takesUserInput(ControlId::writeButton)) {
                std::cerr << "tamroctl: " << controlTitle(ControlId::writeButton)
                          << " is disabled: "
                          << disabledReason(dialog, ControlId::writeButton) << '\n';
                return usageErrorStatus;
            }
            const std::uint32_t before = dialog.lastWrite().number;
            form.userClick(ControlId::writeButton);
            // The worker has run by now; a press that never reached the write
            // leaves an earlier outcome, which is not this one.
            if (dialog.lastWrite().number == before) return 1;
            const WriteResult result = dialog.lastWrite().result;
            if (result == WriteResult::written) return 0;
            if (result == WriteResult::cancelled) std::cerr << "tamroctl: nothing was written\n";
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
    const auto probe = [&](SetupDialog& dialog, const DeviceRecord& /*device*/) {
        Form& form = dialog.form();
        for (const ControlId id : {ControlId::ipAddressCtrl, ControlId::pingButton}) {
            if (!form.takesUserInput(id)) {
                std::cerr << "tamroctl: " << controlTitle(id)
                          << " is disabled: " << disabledReason(dialog, id) << '\n';
                return usageErrorStatus;
            }
        }
        form.userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(*fields));
        form.userClick(ControlId::pingButton);
        if (dialog.lastPing().listedDeviceThere) {
            std::cerr << "tamroctl: " << toDottedText(*fields)
                      << " is the address of another device listed by the search\n";
        }
        // A taken address fails, so that a script can make an assignment wait on it.
        return dialog.lastPing().result == PingResult::otherHost ? 1 : 0;
    };
    return withSelectedDevice(choice, frontEnd, probe);
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
