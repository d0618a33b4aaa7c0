#include "address_sharing_text.h"
#include "choice_options.h"
#include "device_text.h"
#include "form_changes.h"
#include "exit_status.h"
#include "terminal_prompt.h"
#include "model_choice.h"
#include "fleet_commands.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "address_refusal.h"
#include "dialog_session.h"
#include "export_all.h"
#include "fleet_batch.h"
#include "hostnet/subnet.h"
#include "platform/interrupt.h"
#include "platform/text.h"
#include "platform/writer_lock.h"
#include "protocol/device_configuration.h"
#include "protocol/address_conflicts.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"
#include "protocol/messages.h"
#include "settings_file.h"
#include "ui/dialog_messages.h"
#include "ui/file_version.h"

namespace tamro::cli {

namespace {

std::size_t flagIndex(ControlId control) {
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (settingFlags[i].control == control) return i;
    }
    return settingFlags.size();
}

const std::size_t dhcpIndex = flagIndex(ControlId::dhcpCheck);
const std::size_t ipIndex = flagIndex(ControlId::ipAddressCtrl);
const std::size_t maskIndex = flagIndex(ControlId::netmaskCtrl);
const std::size_t gatewayIndex = flagIndex(ControlId::gatewayCtrl);

// --- export ---------------------------------------------------------------------

struct ExportOptions {
    DeviceChoice choice;
    std::string model;
    CLI::Option* modelOption = nullptr;
    std::string output;
    bool withoutAddress = false;
    bool all = false;
};

int runExport(const ExportOptions& options) {
    if (options.all) {
        if (!options.choice.device.empty() || options.output.empty()) {
            std::cerr << "tamroctl: export --all takes no DEVICE and needs -o DIR\n";
            return usageErrorStatus;
        }
        return runExportAll(options.choice, options.output, options.withoutAddress);
    }
    if (options.choice.device.empty()) {
        std::cerr << "tamroctl: export needs a DEVICE, or --all -o DIR\n";
        return usageErrorStatus;
    }
    if (!checkDeviceText(options.choice.device)) return usageErrorStatus;
    CommandFrontEnd frontEnd;
    std::string text;
    const int status = withSelectedDevice(
        options.choice, frontEnd, [&](SetupDialog& dialog, const DeviceRecord& device) {
            const std::optional<SettingsDocument> document =
                selectedSettings(dialog, device, options.withoutAddress);
            if (!document) return 1;
            text = settingsJson(*document).dump(2) + "\n";
            return 0;
        });
    if (status != 0) return status;
    if (options.output.empty()) {
        std::cout << text;
        return 0;
    }
    std::ofstream file(options.output, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::cerr << "tamroctl: " << options.output << ": could not be written\n";
        return 1;
    }
    std::cerr << "settings written to " << options.output << '\n';
    return 0;
}

// --- apply ----------------------------------------------------------------------

struct ApplyOptions {
    DeviceChoice choice;  // adapter and models
    std::string file;
    std::vector<std::string> devices;
    bool all = false;
    std::string model;
    CLI::Option* modelOption = nullptr;
    std::string addresses;
    bool yes = false;
    bool force = false;  // give addresses other listed devices answer from
    int verifySeconds = 30;
    CLI::Option* verifyOption = nullptr;
    bool json = false;
    bool stopOnFailure = false;
    bool check = false;   // plan only: nothing but the search is sent
    bool always = false;  // write even a device the write would leave as it is
};

// One device of the batch and what becomes of it.
struct Target {
    std::array<std::uint8_t, 6> mac{};
    Ipv4 peer;  // where it answered this search
    std::string entry;
    bool configured = false;
    SettingValues values;
    std::optional<Ipv4> address;  // where it will answer after the restart
    BatchResult result = BatchResult::notAttempted;
    std::string message;
    SettingValues expected;  // what the form held for each value given
    VerifyResult verify = VerifyResult::unchecked;
    std::vector<std::string> differing;
    std::vector<std::string> changes;  // what the write changes, as the confirmation lists it
    std::vector<SettingChange> settings;  // the same, by the settings file's keys
    bool unchanged = false;  // the write would leave it as it reported itself
    std::vector<std::string> problems;  // why its rehearsal refused it
};

std::int32_t findTarget(const Form& form, const DeviceTable& devices, const Target& target) {
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = devices.devices[static_cast<std::size_t>(i)];
        if (record.mac == target.mac && record.peer.address == target.peer) return i;
    }
    return -1;
}

// Selects the target as a user would, chooses the model and sets its
// values in the write's order. The problems, "" each, otherwise.
std::vector<std::string> prepareTarget(SetupDialog& dialog, DeviceTable& devices,
                                       const Target& target, const std::optional<std::string>& model) {
    Form& form = dialog.form();
    const std::int32_t position = findTarget(form, devices, target);
    if (position < 0) return {"no longer listed"};
    form.userSelect(ControlId::deviceList, position);
    if (model && chooseModel(form, *model) != 0) return {"the model could not be chosen"};
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (!target.values[i]) continue;
        const std::string problem = applySetting(dialog, settingFlags[i], *target.values[i]);
        if (!problem.empty()) problems.push_back(std::string(settingFlags[i].key) + ": " + problem);
    }
    if (problems.empty() && !form.takesUserInput(ControlId::writeButton)) {
        problems.push_back(controlTitle(ControlId::writeButton) + " is disabled: " +
                           disabledReason(dialog, ControlId::writeButton));
    }
    return problems;
}

// prepareTarget, then the write button with its confirmation cancelled:
// the dialog's checks speak, nothing is sent.
std::vector<std::string> rehearseWrite(SetupDialog& dialog, DeviceTable& devices,
                                       const Target& target,
                                       const std::optional<std::string>& model) {
    std::vector<std::string> problems = prepareTarget(dialog, devices, target, model);
    if (!problems.empty()) return problems;
    const std::uint32_t before = dialog.lastWrite().number;
    dialog.form().userClick(ControlId::writeButton);
    const WriteAttempt& attempt = dialog.lastWrite();
    if (attempt.number == before) return {"the write button did nothing"};
    // Every check passed when the confirmation was reached.
    if (attempt.result == WriteResult::cancelled) return {};
    if (attempt.result == WriteResult::refused) return {writeRefusalText(attempt)};
    return {"the write button did nothing"};
}

// Right after a target's rehearsal, while the form holds its values: the
// changes its confirmation lists, and a warning when turning DHCP off
// leaves it a mask other than the adapter's.
void noteRehearsed(const SetupDialog& dialog, const DeviceTable& devices, Target& target,
                   const ApplyOptions& options, std::vector<std::string>& warnings) {
    const Form& form = dialog.form();
    const std::int32_t position = findTarget(form, devices, target);
    if (position < 0) return;
    const DeviceRecord& device = devices.devices[static_cast<std::size_t>(position)];
    target.changes = formChanges(form, device);
    target.settings = settingChanges(form, device, dialog.selectedModel());
    target.unchanged = writeChangesNothing(form, device, dialog.selectedModel());
    const AdapterTable& adapters = dialog.adapters();
    const std::int32_t adapter = form.selection(ControlId::adapterCombo);
    if (adapter < 0 || adapter >= adapters.adapterCount) return;
    const Ipv4& mask = adapters.adapters[static_cast<std::size_t>(adapter)].mask;
    if (const auto kept = keptMask(form, device, mask, target.values[maskIndex].has_value())) {
        const std::string howToSet = "\"mask\": \"" + toDottedText(mask) + "\" in " +
                                     options.file + ", or a mask column in --addresses";
        warnings.push_back(target.entry + ": " + keptMaskWarning(*kept, mask, howToSet));
        std::cerr << "tamroctl: warning: " << warnings.back() << '\n';
    }
}

// The batch as the file, the map and this search make it: every reason it
// cannot go ahead is a problem; what goes unused, a warning.
struct BatchPlan {
    std::vector<Target> targets;
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
};

BatchPlan planBatch(const ApplyOptions& options, const SettingsDocument& document,
                    const std::vector<AddressRow>& rows, const Form& form,
                    const DeviceTable& devices) {
    BatchPlan plan;
    std::vector<std::string>& problems = plan.problems;
    const std::int32_t listed = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    const auto record = [&](std::int32_t i) -> const DeviceRecord& {
        return devices.devices[static_cast<std::size_t>(i)];
    };
    const auto rowFor = [&](const DeviceRecord& device) -> const AddressRow* {
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const AddressRow& each) { return each.mac == device.mac; });
        return row == rows.end() ? nullptr : &*row;
    };

    std::vector<std::int32_t> positions;
    if (options.all) {
        for (std::int32_t i = 0; i < listed; ++i) {
            if (record(i).configured == 1 || rowFor(record(i)) != nullptr) positions.push_back(i);
        }
        if (positions.empty()) problems.push_back("no listed device to apply the settings to");
    }
    for (const std::string& text : options.devices) {
        const std::optional<DeviceText> wanted = parseDeviceText(text);
        const std::vector<std::int32_t> matches =
            wanted ? matchingDevices(form, devices, *wanted) : std::vector<std::int32_t>{};
        if (matches.empty()) {
            problems.push_back(text + " is not listed");
        } else if (matches.size() > 1) {
            std::string names;
            for (const std::int32_t i : matches) {
                names += " \"" + deviceListEntry(record(i)) + "\" (#" + std::to_string(i) + ")";
            }
            problems.push_back(text + " matches " + std::to_string(matches.size()) +
                               " listed devices:" + names);
        } else if (std::find(positions.begin(), positions.end(), matches.front()) !=
                   positions.end()) {
            problems.push_back(text + " names " + deviceListEntry(record(matches.front())) +
                               " a second time");
        } else {
            positions.push_back(matches.front());
        }
    }

    std::vector<Target> targets;
    std::vector<const AddressRow*> used;
    for (const std::int32_t i : positions) {
        const DeviceRecord& device = record(i);
        Target target;
        target.mac = device.mac;
        target.peer = device.peer.address;
        target.entry = deviceListEntry(device);
        target.configured = device.configured == 1;
        const AddressRow* row = rowFor(device);
        if (row != nullptr) {
            if (std::find(used.begin(), used.end(), row) != used.end()) {
                problems.push_back(options.addresses + ":" + std::to_string(row->line) +
                                   ": its MAC is carried by more than one device named (" +
                                   target.entry + ")");
            }
            used.push_back(row);
        }
        if (target.configured) {
            target.values = document.values;
            if (row != nullptr) {
                target.values[ipIndex] = toDottedText(row->ip);
                if (row->mask) target.values[maskIndex] = toDottedText(*row->mask);
                if (row->gateway) target.values[gatewayIndex] = toDottedText(*row->gateway);
            }
            const bool automatic = target.values[dhcpIndex] ? *target.values[dhcpIndex] == "on"
                                                            : device.dhcp == 1;
            if (!automatic) {
                target.address = target.values[ipIndex] ? parseDottedText(*target.values[ipIndex])
                                                        : std::optional<Ipv4>(device.ipAddress);
            }
        } else if (const auto others = devicesSharingAddress(devices, listed, i);
                   row == nullptr && !others.empty()) {
            problems.push_back(target.entry + ": " + sharedAddressText(device, others) +
                               " (or give it one in --addresses)");
        } else if (row == nullptr) {
            problems.push_back(target.entry +
                               " is outside the adapter's subnet: give its new address in "
                               "--addresses");
        } else {
            // Off the subnet only the address assignment goes out.
            target.values[ipIndex] = toDottedText(row->ip);
            target.address = row->ip;
            for (std::int32_t j = 0; j < listed; ++j) {
                const DeviceRecord& other = record(j);
                if (j != i && other.mac[4] == device.mac[4] && other.mac[5] == device.mac[5]) {
                    problems.push_back(target.entry + " and " + deviceListEntry(other) +
                                       " end in the same two MAC bytes: the address assignment "
                                       "would restart both");
                }
            }
        }
        targets.push_back(std::move(target));
    }

    // Two devices at one address would both be unreachable by it.
    for (std::size_t a = 0; a < targets.size(); ++a) {
        if (!targets[a].address) continue;
        for (std::size_t b = a + 1; b < targets.size(); ++b) {
            if (targets[b].address == targets[a].address) {
                problems.push_back(targets[a].entry + " and " + targets[b].entry +
                                   " would both get " + toDottedText(*targets[a].address) +
                                   " (give each its address with --addresses)");
            }
        }
        for (std::int32_t j = 0; j < listed; ++j) {
            const DeviceRecord& other = record(j);
            const bool inBatch = std::any_of(targets.begin(), targets.end(), [&](const Target& t) {
                return t.mac == other.mac && t.peer == other.peer.address;
            });
            if (!inBatch && !options.force && other.peer.address == *targets[a].address) {
                problems.push_back(targets[a].entry + " would get " +
                                   toDottedText(*targets[a].address) + ", where " +
                                   deviceListEntry(other) + " answers");
            }
        }
    }
    for (const AddressRow& row : rows) {
        if (std::find(used.begin(), used.end(), &row) == used.end()) {
            plan.warnings.push_back(options.addresses + ":" + std::to_string(row.line) + ": " +
                                    macText(row.mac) + " is not among the devices named; not used");
        }
    }
    plan.targets = std::move(targets);
    return plan;
}

// What a written device reads back, against what the form held when it
// was written: verified, or differing with the fields named.
void checkTarget(Target& target, const DeviceRecord& record) {
    target.differing.clear();
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (!target.expected[i]) continue;
        const std::optional<std::string> reported = reportedValue(record, settingFlags[i]);
        if (reported != target.expected[i]) {
            target.differing.push_back(std::string(settingFlags[i].key) + ": applied " +
                                       *target.expected[i] + ", reads " +
                                       reported.value_or("(no list entry)"));
        }
    }
    target.verify = target.differing.empty() ? VerifyResult::verified : VerifyResult::differing;
}

// Looks among `count` records of one search for the written devices not
// yet checked. A device at the address it was given (any, when automatic)
// is read with `read` and checked; one that answers elsewhere is noted as
// moved there, since it may yet turn up where it belongs.
void checkFound(std::vector<Target>& targets, DeviceTable& table, std::int32_t count,
                const std::function<bool(std::int32_t)>& read,
                std::vector<std::optional<Ipv4>>& movedTo) {
    for (std::size_t t = 0; t < targets.size(); ++t) {
        Target& target = targets[t];
        if (target.result != BatchResult::written || target.verify != VerifyResult::unchecked) {
            continue;
        }
        for (std::int32_t i = 0; i < std::min(count, maxDevices); ++i) {
            DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
            if (record.mac != target.mac) continue;
            if (target.address && record.peer.address != *target.address) {
                movedTo[t] = record.peer.address;
                continue;
            }
            if (!read(i)) continue;
            checkTarget(target, record);
            break;
        }
    }
}

bool allChecked(const std::vector<Target>& targets) {
    return std::all_of(targets.begin(), targets.end(), [](const Target& t) {
        return t.result != BatchResult::written || t.verify != VerifyResult::unchecked;
    });
}

// Searches until every written device answers at its new address and was
// read, the time is up or an interrupt arrives; then compares what each
// reports with what the form held when it was written. The first search is
// the dialog's; after it only the devices still awaited are read again.
void verifyTargets(SetupDialog& dialog, DeviceTable& devices, std::vector<Target>& targets,
                   int seconds, const AdapterRecord& adapter) {
    Form& form = dialog.form();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::optional<Ipv4>> movedTo(targets.size());
    std::cerr << "searching again for the written devices ...\n";
    form.userClick(ControlId::searchButton);
    if (dialog.lastSearch().result == SearchResult::listed) {
        // The dialog's search has read every device on the subnet.
        checkFound(targets, devices, form.itemCount(ControlId::deviceList),
                   [&](std::int32_t i) {
                       return devices.devices[static_cast<std::size_t>(i)].configured == 1;
                   },
                   movedTo);
    }
    auto table = std::make_unique<DeviceTable>();
    while (!allChecked(targets) && std::chrono::steady_clock::now() < deadline &&
           !interruptRequested()) {
        std::cerr << "searching again for the devices not yet verified ...\n";
        *table = DeviceTable{};
        const std::int32_t found =
            discoverDevices(*table, adapter.address, adapterInterfaceName(adapter));
        if (found < 0) {
            // Discovery could not start (the port is taken): try again shortly.
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            continue;
        }
        checkFound(targets, *table, found,
                   [&](std::int32_t i) {
                       DeviceRecord& record = table->devices[static_cast<std::size_t>(i)];
                       if (sameSubnet(adapter.address, adapter.mask, record.peer.address) != 1) {
                           return false;
                       }
                       return readConfiguration(*table, i) == 1;
                   },
                   movedTo);
    }
    const bool interrupted = interruptRequested();
    for (std::size_t t = 0; t < targets.size(); ++t) {
        Target& target = targets[t];
        if (target.result != BatchResult::written || target.verify != VerifyResult::unchecked) {
            continue;
        }
        if (movedTo[t]) {
            target.verify = VerifyResult::moved;
            target.differing.push_back("moved: found at " + toDottedText(*movedTo[t]));
        } else if (interrupted) {
            target.differing.push_back("not checked: interrupted");
        } else {
            target.verify = VerifyResult::missing;
            target.differing.push_back(
                "not found" +
                (target.address ? " at " + toDottedText(*target.address) : std::string()) +
                " within " + std::to_string(seconds) + " s");
        }
    }
}

void printTable(const std::vector<Target>& targets, bool verified) {
    std::size_t width = 6;
    for (const Target& t : targets) width = std::max(width, t.entry.size());
    std::cout << std::left << std::setw(static_cast<int>(width)) << "DEVICE" << "  "
              << std::setw(16) << "NEW ADDRESS" << "  " << std::setw(13) << "RESULT";
    if (verified) std::cout << "  " << std::setw(9) << "CHECK";
    std::cout << "  DETAIL\n";
    for (const Target& t : targets) {
        std::string detail = t.message;
        for (const std::string& field : t.differing) detail += (detail.empty() ? "" : "; ") + field;
        std::cout << std::setw(static_cast<int>(width)) << t.entry << "  " << std::setw(16)
                  << (t.address ? toDottedText(*t.address) : std::string("(automatic)")) << "  "
                  << std::setw(13) << resultText(t.result);
        if (verified) {
            const std::string_view check = resultText(t.verify);
            std::cout << "  " << std::setw(9) << (check.empty() ? "-" : check);
        }
        std::cout << "  " << detail << '\n';
    }
}

// A value as the settings file writes it (a number as a number); null for
// a code no list entry shows.
nlohmann::ordered_json settingJson(std::string_view key, const std::optional<std::string>& text) {
    if (!text) return nullptr;
    const SettingFlag* flag = findSettingKey(key);
    if (flag == nullptr) return *text;  // a pin's code or the model: no file key
    SettingsDocument one;
    one.values[static_cast<std::size_t>(flag - settingFlags.data())] = *text;
    return settingsJson(one)["settings"][std::string(key)];
}

nlohmann::ordered_json changesJson(const Target& target) {
    nlohmann::ordered_json changes = nlohmann::ordered_json::object();
    for (const SettingChange& change : target.settings) {
        changes[std::string(change.key)] = {{"before", settingJson(change.key, change.before)},
                                            {"after", settingJson(change.key, change.after)}};
    }
    return changes;
}

void printJson(const std::vector<Target>& targets, bool verified, const std::string& adapter,
               const std::vector<std::string>& warnings) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const Target& t : targets) {
        nlohmann::ordered_json row;
        row["mac"] = macText(t.mac);
        row["ip"] = toDottedText(t.peer);
        row["newIp"] = t.address ? nlohmann::ordered_json(toDottedText(*t.address)) : nullptr;
        row["result"] = resultText(t.result);
        row["changed"] = !t.unchanged;
        row["changes"] = changesJson(t);
        row["message"] = t.message;
        if (verified) {
            row["verify"] = t.verify == VerifyResult::unchecked
                                ? nlohmann::ordered_json(nullptr)
                                : nlohmann::ordered_json(resultText(t.verify));
            row["differing"] = t.differing;
        }
        rows.push_back(std::move(row));
    }
    nlohmann::ordered_json result;
    result["adapter"] = adapter;
    result["devices"] = std::move(rows);
    result["warnings"] = warnings;
    std::cout << result.dump(2) << '\n';
}

// The plan as a script reads it: each device, whether the write would
// change it and how. A refused batch says so and why.
void printPlanJson(const std::vector<Target>& targets, const std::string& adapter,
                   const std::vector<std::string>& problems,
                   const std::vector<std::string>& warnings) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const Target& t : targets) {
        nlohmann::ordered_json row;
        row["mac"] = macText(t.mac);
        row["ip"] = toDottedText(t.peer);
        row["newIp"] = t.address ? nlohmann::ordered_json(toDottedText(*t.address)) : nullptr;
        row["changed"] = !t.unchanged;
        row["changes"] = changesJson(t);
        row["problems"] = t.problems;
        rows.push_back(std::move(row));
    }
    nlohmann::ordered_json result;
    result["adapter"] = adapter;
    if (!problems.empty()) {
        result["refused"] = true;
        result["problems"] = problems;
    }
    result["devices"] = std::move(rows);
    result["warnings"] = warnings;
    std::cout << result.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
}

void printPlanTable(const std::vector<Target>& targets) {
    std::size_t width = 6;
    for (const Target& t : targets) width = std::max(width, t.entry.size());
    std::cout << std::left << std::setw(static_cast<int>(width)) << "DEVICE" << "  "
              << std::setw(16) << "NEW ADDRESS" << "  " << std::setw(9) << "PLAN" << "  CHANGES\n";
    for (const Target& t : targets) {
        std::string detail;
        for (const SettingChange& change : t.settings) {
            detail += (detail.empty() ? "" : "; ") + std::string(change.key) + ": " +
                      change.before.value_or("?") + " -> " + change.after.value_or("?");
        }
        if (t.unchanged) {
            detail = "-";
        } else if (detail.empty()) {
            // Differs only in a row no setting key names.
            for (const std::string& row : t.changes) detail += (detail.empty() ? "" : "; ") + row;
        }
        std::cout << std::setw(static_cast<int>(width)) << t.entry << "  " << std::setw(16)
                  << (t.address ? toDottedText(*t.address) : std::string("(automatic)")) << "  "
                  << std::setw(9) << (t.unchanged ? "unchanged" : "write") << "  " << detail
                  << '\n';
    }
}

// "--verify 5" gives the flag and a device "5": name that, not what follows from it.
std::optional<std::string> secondsReadAsDevice(const ApplyOptions& options) {
    if (options.verifyOption->count() == 0) return std::nullopt;
    for (const std::string& device : options.devices) {
        if (!device.empty() && std::all_of(device.begin(), device.end(), [](char c) {
                return c >= '0' && c <= '9';
            })) {
            return device;
        }
    }
    return std::nullopt;
}

// A refused batch is a result too: a script reading stdout learns why.
void printRefusalJson(const std::vector<std::string>& problems, const std::string& adapter) {
    nlohmann::ordered_json result;
    result["adapter"] = adapter;
    result["refused"] = true;
    result["problems"] = problems;
    std::cout << result.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
}

int runApply(const ApplyOptions& options) {
    if (const auto seconds = secondsReadAsDevice(options)) {
        std::cerr << "tamroctl: a bare --verify takes no value, so \"" << *seconds
                  << "\" was read as a device: give --verify=" << *seconds << '\n';
        return usageErrorStatus;
    }
    // Everything the files say is checked before the search.
    if (options.all == !options.devices.empty()) {
        std::cerr << "tamroctl: name the devices, or give --all\n";
        return usageErrorStatus;
    }
    for (const std::string& device : options.devices) {
        if (!checkDeviceText(device)) return usageErrorStatus;
    }
    std::string problem;
    const std::optional<std::string> text = readWholeFile(options.file, problem);
    std::optional<SettingsDocument> document;
    if (text) document = parseSettings(*text, options.file, problem);
    if (!document) {
        std::cerr << "tamroctl: " << problem << "; nothing was sent\n";
        return usageErrorStatus;
    }
    std::vector<AddressRow> rows;
    if (!options.addresses.empty()) {
        const std::optional<std::string> map = readWholeFile(options.addresses, problem);
        std::optional<std::vector<AddressRow>> parsed;
        if (map) parsed = parseAddressMap(*map, options.addresses, problem);
        if (!parsed) {
            std::cerr << "tamroctl: " << problem << "; nothing was sent\n";
            return usageErrorStatus;
        }
        rows = std::move(*parsed);
    }
    std::optional<std::string> model = document->model;
    if (options.modelOption->count() > 0) model = options.model;

    // From here an interrupt lets the device in progress finish.
    const InterruptGuard interrupts;
    // Each dialog confirmation is the batch's, given once below; while
    // rehearsing, every one is cancelled, so the checks run and nothing goes out.
    bool rehearsing = false;
    CommandFrontEnd frontEnd([&rehearsing](std::string_view) { return !rehearsing; });
    DeviceChoice choice = options.choice;
    return withSearchedDialog(choice, frontEnd, [&](SetupDialog& dialog, DeviceTable& devices,
                                                    const std::string& adapterText) {
        BatchPlan plan = planBatch(options, *document, rows, dialog.form(), devices);
        for (const std::string& warning : plan.warnings) std::cerr << "tamroctl: " << warning << '\n';
        std::vector<std::string>& problems = plan.problems;
        std::vector<Target>& targets = plan.targets;
        // Every value goes to a control that takes it and passes the
        // write's checks, on every device, before any device is written.
        if (problems.empty()) {
            rehearsing = true;
            frontEnd.setQuiet(true);
            for (Target& target : targets) {
                const std::vector<std::string> found = rehearseWrite(dialog, devices, target, model);
                for (const std::string& each : found) problems.push_back(target.entry + ": " + each);
                if (found.empty()) noteRehearsed(dialog, devices, target, options, plan.warnings);
                target.problems = found;
            }
            frontEnd.setQuiet(false);
            rehearsing = false;
        }
        if (!problems.empty()) {
            std::cerr << "tamroctl: nothing was sent:\n";
            for (const std::string& each : problems) std::cerr << "  " << each << '\n';
            if (options.json && options.check) {
                printPlanJson(targets, adapterText, problems, plan.warnings);
            } else if (options.json) {
                printRefusalJson(problems, adapterText);
            }
            return usageErrorStatus;
        }
        // A device the write would leave as it is keeps running: no blocks,
        // no restart.
        if (options.always) {
            for (Target& target : targets) target.unchanged = false;
        }
        if (options.check) {
            if (options.json) {
                printPlanJson(targets, adapterText, {}, plan.warnings);
            } else {
                printPlanTable(targets);
            }
            return interruptRequested() ? 130 : 0;
        }
        std::cerr << "apply " << options.file << " to " << targets.size() << " device"
                  << (targets.size() == 1 ? "" : "s");
        if (model) std::cerr << " as model " << *model;
        std::cerr << ":\n";
        for (const Target& target : targets) {
            std::cerr << "  " << target.entry;
            if (target.address) std::cerr << " -> " << toDottedText(*target.address);
            if (!target.configured) std::cerr << " (address assignment)";
            if (target.unchanged) std::cerr << " (unchanged: not written)";
            std::cerr << '\n';
            if (!options.yes && !target.unchanged) printChanges(target.changes, std::cerr, "    ");
        }
        const bool anyToWrite = std::any_of(targets.begin(), targets.end(),
                                            [](const Target& t) { return !t.unchanged; });
        if (anyToWrite && (!confirmAtTerminal(options.yes) || interruptRequested())) {
            std::cerr << "tamroctl: nothing was written\n";
            return interruptRequested() ? 130 : 1;
        }
        const std::int32_t adapterPosition = dialog.form().selection(ControlId::adapterCombo);
        const AdapterRecord& adapter =
            dialog.adapters().adapters[static_cast<std::size_t>(std::max(adapterPosition, 0))];
        // The whole batch is one writer: another program's blocks never
        // land between ours.
        WriterLock lock;
        LockHolder holder;
        if (anyToWrite &&
            !lock.acquire(toDottedText(adapter.address), writerLockPatience, holder)) {
            const std::string refusal = writerRefusalText(toDottedText(adapter.address), holder);
            std::cerr << "tamroctl: " << refusal << '\n';
            if (options.json) printRefusalJson({refusal}, adapterText);
            return interruptRequested() ? 130 : 1;
        }

        Form& form = dialog.form();
        // Each device starts from its own selection, as an operator's would.
        const auto writeOne = [&](std::size_t index) {
            Target& target = targets[index];
            // A failed write leaves the form off until the next search.
            if (!form.takesUserInput(ControlId::deviceList)) {
                std::cerr << "searching again before " << target.entry << " ...\n";
                form.userClick(ControlId::searchButton);
                if (dialog.lastSearch().result != SearchResult::listed) {
                    target.message = "the search before its write failed; nothing was sent";
                    return BatchResult::failed;
                }
            }
            const std::vector<std::string> late = prepareTarget(dialog, devices, target, model);
            if (!late.empty()) {
                target.message = late.front();
                return BatchResult::refused;
            }
            // Judged again on what this selection shows: a search since the
            // plan may have found the device otherwise.
            if (target.unchanged) {
                const std::int32_t position = findTarget(form, devices, target);
                if (position >= 0 &&
                    writeChangesNothing(form, devices.devices[static_cast<std::size_t>(position)],
                                        dialog.selectedModel())) {
                    return BatchResult::unchanged;
                }
                target.unchanged = false;
            }
            for (std::size_t i = 0; i < settingFlags.size(); ++i) {
                if (target.values[i]) target.expected[i] = settingValue(form, settingFlags[i]);
            }
            std::cerr << "writing " << target.entry << " ...\n";
            const std::uint32_t before = dialog.lastWrite().number;
            form.userClick(ControlId::writeButton);
            const WriteAttempt& attempt = dialog.lastWrite();
            // Never another device's outcome: a press that did not reach the
            // write is this device's failure.
            if (attempt.number == before) {
                target.message = "the write button did nothing";
                return BatchResult::failed;
            }
            if (attempt.result == WriteResult::written) return BatchResult::written;
            target.message = writeRefusalText(attempt);
            if (const std::string taken = partialWriteText(attempt.blocksAccepted); !taken.empty()) {
                target.message += ": " + taken;
            }
            return attempt.result == WriteResult::refused ? BatchResult::refused
                                                          : BatchResult::failed;
        };
        BatchRules rules;
        rules.stopOnFailure = options.stopOnFailure;
        rules.interrupted = [] { return interruptRequested(); };
        BatchOutcome outcome = runBatch(targets.size(), rules, writeOne);
        lock.release();
        for (std::size_t i = 0; i < targets.size(); ++i) {
            targets[i].result = outcome.results[i];
            if (outcome.results[i] == BatchResult::notAttempted) {
                targets[i].message =
                    outcome.interrupted ? "interrupted before it" : "stopped after a failure";
            }
        }
        const bool verify = options.verifyOption->count() > 0;
        const bool anyWritten =
            std::any_of(outcome.results.begin(), outcome.results.end(),
                        [](BatchResult r) { return r == BatchResult::written; });
        if (verify && anyWritten && !outcome.interrupted) {
            verifyTargets(dialog, devices, targets, options.verifySeconds, adapter);
        }
        outcome.interrupted = outcome.interrupted || interruptRequested();
        if (options.json) {
            printJson(targets, verify, adapterText, plan.warnings);
        } else {
            printTable(targets, verify);
        }
        std::vector<VerifyResult> checks;
        if (verify) {
            for (const Target& target : targets) {
                if (target.result == BatchResult::written) checks.push_back(target.verify);
            }
        }
        return batchExitStatus(outcome, checks);
    });
}

}  // namespace

void addFleetCommands(CLI::App& app, int& exitCode) {
    auto exporting = std::make_shared<ExportOptions>();
    CLI::App* exportCommand = app.add_subcommand(
        "export", "Save a device's settings, as the setup dialog shows them, to a JSON file.");
    exporting->modelOption =
        addDeviceChoiceOptions(*exportCommand, exporting->choice, exporting->model);
    exportCommand->get_option("DEVICE")->required(false);
    exportCommand->add_option("-o,--output", exporting->output,
                              "Write to this file, not stdout (with --all: this directory)");
    exportCommand->add_flag("--all", exporting->all,
                            "Every listed device, each to DIR/<MAC>.json (--adapter all: on "
                            "every adapter)");
    exportCommand->add_flag("--without-address", exporting->withoutAddress,
                            "Leave out ip, mask and gateway");
    exportCommand->callback([exporting, &exitCode] {
        if (exporting->modelOption->count() > 0) exporting->choice.model = exporting->model;
        exitCode = runExport(*exporting);
    });

    auto apply = std::make_shared<ApplyOptions>();
    CLI::App* applyCommand = app.add_subcommand(
        "apply", "Write a settings file's values to many devices through the setup dialog.");
    applyCommand->add_option("FILE", apply->file, "A settings file written by export")
        ->required();
    applyCommand->add_option("DEVICE", apply->devices,
                             "The devices: MAC address, IP address, \"MAC / IP\" or #N");
    applyCommand->add_flag("--all", apply->all, "Every listed device (off the subnet: those in "
                                                "--addresses)");
    addSearchOptions(*applyCommand, apply->choice);
    apply->modelOption = applyCommand->add_option(
        "--model", apply->model, "Choose this model on each device (default: the file's)");
    applyCommand->add_option("--addresses", apply->addresses,
                             "CSV file mac,ip[,mask[,gateway]]: each device's own address");
    applyCommand->add_flag("--yes", apply->yes, "Confirm the whole batch without asking");
    applyCommand->add_flag("--force", apply->force,
                           "Give even an address another listed device answers from");
    // A flag, so that "--verify DEVICE" leaves the device a device; the
    // seconds only as --verify=SECONDS.
    apply->verifyOption =
        applyCommand
            ->add_flag("--verify{30}", apply->verifySeconds,
                       "Search again (--verify=SECONDS, default 30) and compare what each reads")
            ->check(CLI::Range(1, 600));
    applyCommand->add_flag("--json", apply->json, "Print the results as one JSON object");
    applyCommand->add_flag("--stop-on-failure", apply->stopOnFailure,
                           "Stop at the first device not written; the rest are not attempted");
    applyCommand->add_flag("--check", apply->check,
                           "Only plan: show what would change on each device; nothing but the "
                           "search is sent");
    applyCommand->add_flag("--always", apply->always,
                           "Write even a device whose settings would not change");
    applyCommand->callback([apply, &exitCode] {
        apply->choice.named = apply->devices;  // what --adapter auto looks for
        exitCode = runApply(*apply);
    });
}

}  // namespace tamro::cli
