#include "export_all.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <iostream>
#include <system_error>

#include "adapter_choice.h"
#include "adapter_searches.h"
#include "address_sharing_text.h"
#include "platform/text.h"
#include "protocol/device_address.h"
#include "protocol/device_search.h"
#include "ui/file_version.h"

namespace tamro::cli {

namespace {

bool isAddressFlag(const SettingFlag& flag) {
    return flag.control == ControlId::ipAddressCtrl || flag.control == ControlId::netmaskCtrl ||
           flag.control == ControlId::gatewayCtrl;
}

// Saves every device the dialog listed; 1 when one could not be. A MAC
// already in `saved` (heard on an earlier adapter too) keeps its first file.
int saveListed(SetupDialog& dialog, const DeviceTable& devices, const std::string& directory,
               bool withoutAddress, std::map<MacAddress, std::string>& saved) {
    Form& form = dialog.form();
    int status = 0;
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        form.userSelect(ControlId::deviceList, i);
        const DeviceRecord& device = devices.devices[static_cast<std::size_t>(i)];
        if (const auto earlier = saved.find(device.mac); earlier != saved.end()) {
            std::cerr << "tamroctl: " << deviceListEntry(device) << " was not saved: "
                      << earlier->second << " holds the device with its MAC listed before it\n";
            status = 1;
            continue;
        }
        const std::optional<SettingsDocument> document =
            selectedSettings(dialog, device, withoutAddress);
        if (!document) {
            status = 1;
            continue;
        }
        const std::filesystem::path path =
            std::filesystem::path(directory) / (macText(device.mac) + ".json");
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << settingsJson(*document).dump(2) << '\n';
        file.close();
        if (!file) {
            std::cerr << "tamroctl: " << path.string() << ": could not be written\n";
            status = 1;
            continue;
        }
        std::cerr << deviceListEntry(device) << " -> " << path.string() << '\n';
        saved.emplace(device.mac, path.string());
    }
    return status;
}

}  // namespace

std::optional<SettingsDocument> selectedSettings(const SetupDialog& dialog,
                                                 const DeviceRecord& device, bool withoutAddress) {
    if (const auto others = dialog.selectedDeviceSharesWith(); !others.empty()) {
        std::cerr << "tamroctl: " << sharedAddressText(device, others) << '\n';
        return std::nullopt;
    }
    if (device.configured != 1) {
        std::cerr << "tamroctl: " << deviceListEntry(device)
                  << " is outside the adapter's subnet: its settings were not read "
                     "(give it an address on the subnet first)\n";
        return std::nullopt;
    }
    const Form& form = dialog.form();
    SettingsDocument document;
    document.mac = device.mac;
    if (form.itemCount(ControlId::modelCombo) > 0 && form.selection(ControlId::modelCombo) >= 0) {
        document.model = utf8OrAscii(form.text(ControlId::modelCombo));
    }
    // "1.00", as the window's "Version 1.00" shows it.
    std::string version = formatVersionText(dialog.fileVersion());
    if (const std::size_t blank = version.find(' '); blank != std::string::npos) {
        version.erase(0, blank + 1);
    }
    document.version = version;
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (withoutAddress && isAddressFlag(settingFlags[i])) continue;
        document.values[i] = settingValue(form, settingFlags[i]);
    }
    return document;
}

int runExportAll(const DeviceChoice& choice, const std::string& directory, bool withoutAddress) {
    if (choice.adapter == autoAdapter) {
        std::cerr << "tamroctl: export --all takes --adapter all, not auto: no device is named\n";
        return 2;
    }
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure || !std::filesystem::is_directory(directory, failure)) {
        std::cerr << "tamroctl: " << directory << ": not a directory that can be made ("
                  << failure.message() << ")\n";
        return 1;
    }
    CommandFrontEnd frontEnd;
    std::map<MacAddress, std::string> saved;
    int status = 0;
    if (choice.adapter == allAdapters) {
        status = withEachSearchedDialog(
            choice, frontEnd,
            [&](SetupDialog& dialog, DeviceTable& devices, const AdapterRecord& /*adapter*/) {
                return saveListed(dialog, devices, directory, withoutAddress, saved);
            });
    } else {
        status = withSearchedDialog(
            choice, frontEnd, [&](SetupDialog& dialog, DeviceTable& devices, const std::string&) {
                return saveListed(dialog, devices, directory, withoutAddress, saved);
            });
    }
    std::cerr << saved.size() << " settings file" << (saved.size() == 1 ? "" : "s")
              << " written to " << directory << '\n';
    if (saved.empty()) return 1;
    return status;
}

}  // namespace tamro::cli
