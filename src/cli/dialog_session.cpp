#include "dialog_session.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "adapter_choice.h"
#include "adapter_searches.h"
#include "device_text.h"
#include "model_choice.h"
#include "models_command.h"
#include "device_json.h"
#include "platform/file_access.h"
#include "platform/terminal.h"
#include "protocol/device_search.h"
#include "protocol/messages.h"
#include "search_progress.h"

namespace tamro::cli {

namespace {

// The loader ends the dialog without a word for a named file it cannot
// open, as the window does; a terminal can be told why.
void reportUnopenableModelFile(std::string_view text) {
    if (text.find(".dat") == std::string_view::npos) return;
    while (!text.empty() && text.front() == '"') text.remove_prefix(1);
    while (!text.empty() && text.back() == '"') text.remove_suffix(1);
    const std::string path(text);
    const std::string reason = openFailureReason(path);
    // It opened: the loader has shown what is wrong with it.
    if (reason.empty()) return;
    std::cerr << "tamroctl: --models " << path << ": cannot open: " << reason << '\n';
}

}  // namespace

namespace {

using SearchedWork =
    std::function<int(SetupDialog&, DeviceTable&, const std::string& adapterText)>;

// The dialog started on `services`, the adapter `adapterChoice` picked and
// Search pressed, then `work`. `dropped` is what the search dropped;
// `replayed`: the services hand back a search that already ran.
int searchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                   DialogServices& services, const std::vector<DroppedDevice>& dropped,
                   const std::string& adapterChoice, bool replayed, const SearchedWork& work) {
    DeviceTable& devices = processDeviceTable();
    int status = 1;  // stays when the dialog ends at start
    bool started = false;
    runApplication(frontEnd, services, devices, choice.models, [&](SetupDialog& dialog) {
        started = true;
        Form& form = dialog.form();
        std::string error;
        const std::int32_t adapter = chooseAdapter(dialog.adapters(), adapterChoice, error);
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
        // A replayed search only lists what the side-by-side searches found.
        if (!replayed) std::cerr << "searching on " << adapterText << " ...\n";
        form.userClick(ControlId::searchButton);
        if (dialog.lastSearch().result != SearchResult::listed) {
            const std::string holders = portHolderText();
            if (!holders.empty()) std::cerr << holders << '\n';
            return;
        }
        reportDropped(dropped, form.itemCount(ControlId::deviceList), std::cerr);
        status = work(dialog, devices, adapterText);
    });
    if (!started) reportUnopenableModelFile(choice.models);
    return status;
}

// Every usable adapter, searched side by side; nothing (with the reason on
// stderr) when there is none.
std::vector<AdapterSearch> searchAll(DialogServices& services) {
    auto adapters = std::make_unique<AdapterTable>();
    services.enumerateAdapters(*adapters);
    if (adapters->adapterCount <= 0) {
        std::cerr << "tamroctl: no usable network adapter\n";
        return {};
    }
    std::cerr << "searching on every adapter (" << adapters->adapterCount << ") ...\n";
    return searchEveryAdapter(*adapters);
}

}  // namespace

int withSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const SearchedWork& work) {
    // The window program's default model file, not one named after tamroctl.
    SystemDialogServices services(windowProgramPath());
    if (choice.adapter == autoAdapter) {
        const std::vector<AdapterSearch> searches = searchAll(services);
        if (searches.empty()) return 1;
        std::vector<std::string> named = choice.named;
        if (!choice.device.empty()) named.insert(named.begin(), choice.device);
        std::string error;
        const std::optional<std::size_t> which = adapterOfDevices(searches, named, error);
        if (!which) {
            std::cerr << "tamroctl: " << error << '\n';
            return 1;
        }
        const AdapterSearch& search = searches[*which];
        std::cerr << "the device answered on " << adapterEntryText(search.adapter) << '\n';
        ReplayedSearchServices replay(services, search);
        return searchedDialog(choice, frontEnd, replay, search.dropped,
                              std::to_string(search.position), true, work);
    }
    std::vector<DroppedDevice> dropped;
    services.searchObserver.dropped = &dropped;
    SearchProgressLine progress(std::cerr, standardErrorIsTerminal());
    progress.attach(services.searchObserver);
    return searchedDialog(choice, frontEnd, services, dropped, choice.adapter, false, work);
}

int withEachSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                           const std::function<int(SetupDialog&, DeviceTable&,
                                                   const AdapterRecord& adapter)>& work) {
    SystemDialogServices services(windowProgramPath());
    const std::vector<AdapterSearch> searches = searchAll(services);
    if (searches.empty()) return 1;
    int status = 0;
    for (const AdapterSearch& search : searches) {
        if (search.count < 0) {
            std::cerr << "tamroctl: " << adapterEntryText(search.adapter) << ": "
                      << communicationErrorMessage << '\n';
            status = std::max(status, 1);
            continue;
        }
        if (search.count == 0) continue;
        ReplayedSearchServices replay(services, search);
        const int each = searchedDialog(
            choice, frontEnd, replay, search.dropped, std::to_string(search.position), true,
            [&](SetupDialog& dialog, DeviceTable& devices, const std::string&) {
                return work(dialog, devices, search.adapter);
            });
        status = std::max(status, each);
    }
    return status;
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
            const std::int32_t adapter = form.selection(ControlId::adapterCombo);
            if (form.itemCount(ControlId::deviceList) == 0 && adapter >= 0 &&
                adapter < dialog.adapters().adapterCount) {
                hintDoctor(dialog.adapters().adapters[static_cast<std::size_t>(adapter)], std::cerr);
            }
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

}  // namespace tamro::cli
