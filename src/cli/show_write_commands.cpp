#include "address_sharing_text.h"
#include "choice_options.h"
#include "device_text.h"
#include "form_changes.h"
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

#include "address_refusal.h"
#include "argument_text.h"
#include "device_json.h"
#include "fleet_batch.h"
#include "platform/interrupt.h"
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
        std::optional<std::string> current;
        if (const TemplateItem* text = currentTextFor(item)) {
            const std::string now = form.text(text->id);
            current = now.empty() ? "-" : utf8OrAscii(now);
        }
        out << "  " << rowText(item, current, shownValue(form, item.id));
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
    bool force = false;
    std::array<std::string, settingFlags.size()> values;
    std::array<CLI::Option*, settingFlags.size()> given{};
};

// A warning, not a refusal: the device may be meant for another subnet.
void warnOfKeptMask(const SetupDialog& dialog, const DeviceRecord& device,
                    const WriteOptions& options) {
    const AdapterTable& adapters = dialog.adapters();
    const std::int32_t position = dialog.form().selection(ControlId::adapterCombo);
    if (position < 0 || position >= adapters.adapterCount) return;
    const Ipv4& mask = adapters.adapters[static_cast<std::size_t>(position)].mask;
    bool maskGiven = false;
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (settingFlags[i].control == ControlId::netmaskCtrl) maskGiven = options.given[i]->count() > 0;
    }
    if (const auto kept = keptMask(dialog.form(), device, mask, maskGiven)) {
        std::cerr << "tamroctl: warning: "
                  << keptMaskWarning(*kept, mask, "--mask " + toDottedText(mask)) << '\n';
    }
}

// The address the write would give, when it moves the device to one another
// listed device answers from: refused (with the reasons) unless `force`.
// An assignment off the subnet also restarts devices ending in the same two
// MAC bytes, which no --force lets through.
int refuseTakenAddress(const SetupDialog& dialog, const DeviceRecord& device, bool force) {
    const Form& form = dialog.form();
    const bool assignment = device.configured != 1;
    if (!assignment && form.checked(ControlId::dhcpCheck)) return 0;
    const Ipv4 address = form.address(ControlId::ipAddressCtrl).value();
    // Moving nowhere takes no one's address; the two bytes still matter.
    const bool moves = address != device.peer.address;
    const std::vector<std::string> problems =
        addressClashProblems(processDeviceTable(), dialog.lastSearch().listed, address,
                             device.mac, assignment, force || !moves);
    if (problems.empty()) return 0;
    std::cerr << "tamroctl: nothing was sent:\n";
    for (const std::string& each : problems) std::cerr << "  " << each << '\n';
    return usageErrorStatus;
}

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

    // The confirmation lists what the write changes, found once every value is in.
    std::vector<std::string> changes;
    // An interrupt lets a write that has begun send all its blocks.
    const InterruptGuard interrupts;
    CommandFrontEnd frontEnd([&options, &changes](std::string_view) {
        return confirmChanges(changes, options.yes) && !interruptRequested();
    });
    frontEnd.setResultTexts({writeCompleteMessage});
    return withSelectedDevice(
        options.choice, frontEnd, [&](SetupDialog& dialog, const DeviceRecord& device) {
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
            if (const int refused = refuseTakenAddress(dialog, device, options.force)) {
                return refused;
            }
            warnOfKeptMask(dialog, device, options);
            changes = formChanges(form, device);
            // The write button writes regardless, as the window's does; say so first.
            if (writeChangesNothing(form, device, dialog.selectedModel())) {
                std::cerr << "tamroctl: nothing would change: the device already holds these "
                             "settings; writing them anyway restarts it\n";
            }
            if (interruptRequested()) {
                std::cerr << "tamroctl: interrupted; nothing was written\n";
                return 130;
            }
            const std::uint32_t before = dialog.lastWrite().number;
            form.userClick(ControlId::writeButton);
            // The worker has run by now; a press that never reached the write
            // leaves an earlier outcome, which is not this one.
            const int stopped = interruptRequested() ? 130 : 1;
            if (dialog.lastWrite().number == before) return stopped;
            const WriteResult result = dialog.lastWrite().result;
            if (result == WriteResult::written) return interruptRequested() ? 130 : 0;
            if (dialog.lastWrite().failedCheck == WriteCheck::address) {
                std::cerr << "tamroctl: --ip " << writeRefusalText(dialog.lastWrite())
                          << "; nothing was sent\n";
                return usageErrorStatus;
            }
            if (result == WriteResult::cancelled) std::cerr << "tamroctl: nothing was written\n";
            const std::string taken = partialWriteText(dialog.lastWrite().blocksAccepted);
            if (result == WriteResult::failed && !taken.empty()) {
                std::cerr << "tamroctl: " << taken << '\n';
            }
            return stopped;
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
    writeCommand->add_flag("--force", write->force,
                           "Write even an address another listed device answers from");
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
