#include "diff_command.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include <nlohmann/json.hpp>

#include "adapter_choice.h"
#include "adapter_searches.h"
#include "choice_options.h"
#include "device_json.h"
#include "exit_status.h"
#include "export_all.h"
#include "protocol/device_address.h"
#include "protocol/device_search.h"

namespace tamro::cli {

namespace {

struct DiffOptions {
    std::vector<std::string> paths;
    DeviceChoice choice;  // adapter and models
    bool json = false;
};

// One file, and what each device its MAC names made of it.
struct FileDiff {
    std::string name;
    SettingsDocument document;
    struct Seen {
        AdapterRecord adapter;
        std::string entry;  // as the list shows the device
        bool read = false;  // false: off the subnet or sharing its address
        std::vector<KeyDifference> differences;
    };
    std::vector<Seen> seen;
};

// The files a path names: the file itself, or a directory's *.json files
// in name order. False, with the reason on stderr, for neither.
bool collectFiles(const std::string& path, std::vector<std::string>& files) {
    std::error_code failure;
    if (!std::filesystem::is_directory(path, failure)) {
        files.push_back(path);
        return true;
    }
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, failure)) {
        if (entry.is_regular_file(failure) && entry.path().extension() == ".json") {
            found.push_back(entry.path().string());
        }
    }
    if (failure) {
        std::cerr << "tamroctl: " << path << ": " << failure.message() << '\n';
        return false;
    }
    if (found.empty()) {
        std::cerr << "tamroctl: " << path << ": holds no .json settings file\n";
        return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return true;
}

// Every file read and checked before the search: a file that names no
// device cannot be compared with one.
std::optional<std::vector<FileDiff>> readFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        if (!collectFiles(path, names)) return std::nullopt;
    }
    std::vector<FileDiff> files;
    bool refused = false;
    for (const std::string& name : names) {
        std::string problem;
        const std::optional<std::string> text = readWholeFile(name, problem);
        std::optional<SettingsDocument> document;
        if (text) document = parseSettings(*text, name, problem);
        if (!text) {
            std::cerr << "tamroctl: " << name << ": " << problem << '\n';
        } else if (!document) {
            std::cerr << "tamroctl: " << problem << '\n';
        } else if (!document->mac) {
            std::cerr << "tamroctl: " << name
                      << ": names no device (no \"mac\"); diff compares a file with the device "
                         "it came from\n";
        } else {
            files.push_back(FileDiff{name, *document, {}});
            continue;
        }
        refused = true;
    }
    if (refused) return std::nullopt;
    return files;
}

// Compares each file whose MAC the dialog listed with that device.
int compareListed(SetupDialog& dialog, const DeviceTable& devices, const AdapterRecord& adapter,
                  std::vector<FileDiff>& files) {
    Form& form = dialog.form();
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& device = devices.devices[static_cast<std::size_t>(i)];
        bool selected = false;
        for (FileDiff& file : files) {
            if (*file.document.mac != device.mac) continue;
            if (!selected) form.userSelect(ControlId::deviceList, i);
            selected = true;
            FileDiff::Seen seen{adapter, deviceListEntry(device), false, {}};
            if (const auto read = selectedSettings(dialog, device, false)) {
                seen.read = true;
                seen.differences = settingsDifferences(file.document, read->model, read->values);
            }
            file.seen.push_back(std::move(seen));
        }
    }
    return 0;
}

std::string_view statusWord(const FileDiff& file) {
    if (file.seen.empty()) return "missing";
    for (const FileDiff::Seen& seen : file.seen) {
        if (!seen.read) return "unread";
        if (!seen.differences.empty()) return "differs";
    }
    return "same";
}

void printText(const std::vector<FileDiff>& files, std::ostream& out) {
    for (const FileDiff& file : files) {
        const std::string mac = macText(*file.document.mac);
        if (file.seen.empty()) {
            out << file.name << ": missing (" << mac << " was not found)\n";
            continue;
        }
        for (const FileDiff::Seen& seen : file.seen) {
            out << file.name << ": ";
            if (!seen.read) {
                out << "unread (" << seen.entry << " on " << adapterEntryText(seen.adapter)
                    << ": its settings could not be read)\n";
                continue;
            }
            out << (seen.differences.empty() ? "same" : "differs") << " (" << seen.entry
                << " on " << adapterEntryText(seen.adapter) << ")\n";
            for (const KeyDifference& each : seen.differences) {
                out << "  " << each.key << ": file " << each.file << ", device " << each.device
                    << '\n';
            }
        }
    }
}

nlohmann::ordered_json filesJson(const std::vector<FileDiff>& files) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const FileDiff& file : files) {
        nlohmann::ordered_json devices = nlohmann::ordered_json::array();
        for (const FileDiff::Seen& seen : file.seen) {
            nlohmann::ordered_json differences = nlohmann::ordered_json::object();
            for (const KeyDifference& each : seen.differences) {
                differences[each.key] = {{"file", each.file}, {"device", each.device}};
            }
            nlohmann::ordered_json one;
            one["adapter"] = adapterJson(seen.adapter);
            one["status"] = !seen.read ? "unread" : seen.differences.empty() ? "same" : "differs";
            one["differences"] = std::move(differences);
            devices.push_back(std::move(one));
        }
        nlohmann::ordered_json entry;
        entry["file"] = file.name;
        entry["mac"] = macText(*file.document.mac);
        entry["status"] = statusWord(file);
        entry["devices"] = std::move(devices);
        list.push_back(std::move(entry));
    }
    return list;
}

int runDiff(const DiffOptions& options) {
    std::optional<std::vector<FileDiff>> files = readFiles(options.paths);
    if (!files) return usageErrorStatus;
    DeviceChoice choice = options.choice;
    for (const FileDiff& file : *files) choice.named.push_back(macText(*file.document.mac));
    CommandFrontEnd frontEnd;
    int status = 0;
    if (choice.adapter == allAdapters) {
        status = withEachSearchedDialog(
            choice, frontEnd,
            [&](SetupDialog& dialog, DeviceTable& devices, const AdapterRecord& adapter) {
                return compareListed(dialog, devices, adapter, *files);
            });
    } else {
        status = withSearchedDialog(
            choice, frontEnd, [&](SetupDialog& dialog, DeviceTable& devices, const std::string&) {
                const std::int32_t position = dialog.form().selection(ControlId::adapterCombo);
                if (position < 0 || position >= dialog.adapters().adapterCount) return 1;
                return compareListed(dialog, devices,
                                     dialog.adapters().adapters[static_cast<std::size_t>(position)],
                                     *files);
            });
    }
    // A search that could not run compares nothing: no file is "missing".
    if (status != 0) return status;
    if (options.json) {
        nlohmann::ordered_json result;
        result["files"] = filesJson(*files);
        std::cout << result.dump(2) << '\n';
    } else {
        printText(*files, std::cout);
    }
    const bool allSame = std::all_of(files->begin(), files->end(), [](const FileDiff& file) {
        return statusWord(file) == "same";
    });
    return allSame ? 0 : 1;
}

}  // namespace

std::vector<KeyDifference> settingsDifferences(const SettingsDocument& file,
                                               const std::optional<std::string>& deviceModel,
                                               const SettingValues& deviceValues) {
    std::vector<KeyDifference> differences;
    if (file.model && deviceModel != file.model) {
        differences.push_back({"model", *file.model, deviceModel.value_or("-")});
    }
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        const std::optional<std::string>& wanted = file.values[i];
        if (!wanted || deviceValues[i] == wanted) continue;
        differences.push_back(
            {std::string(settingFlags[i].key), *wanted, deviceValues[i].value_or("-")});
    }
    return differences;
}

void addDiffCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* command = app.add_subcommand(
        "diff", "Compare settings files (as export writes them) with the devices they name.");
    command->add_option("FILE", options->paths, "A settings file, or a directory of them")
        ->required();
    addSearchOptions(*command, options->choice);
    command->add_flag("--json", options->json, "Print one JSON object");
    command->callback([options, &exitCode] { exitCode = runDiff(*options); });
}

}  // namespace tamro::cli
