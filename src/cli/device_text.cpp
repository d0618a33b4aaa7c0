#include "device_text.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "protocol/device_search.h"

namespace tamro::cli {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string shownAddress(const DeviceRecord& record) {
    return std::string(record.ipText.data(),
                       std::find(record.ipText.begin(), record.ipText.end(), '\0'));
}

}  // namespace

std::optional<DeviceText> parseDeviceText(std::string_view text) {
    text = trimmed(text);
    DeviceText wanted;
    if (text.starts_with('#')) {
        std::int32_t position = -1;
        const char* end = text.data() + text.size();
        const auto [stop, failure] = std::from_chars(text.data() + 1, end, position);
        if (failure != std::errc{} || stop != end || position < 0 || text.size() == 1) {
            return std::nullopt;
        }
        wanted.position = position;
        return wanted;
    }
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        wanted.mac = parseMacText(trimmed(text.substr(0, slash)));
        wanted.address = parseDottedText(trimmed(text.substr(slash + 1)));
        if (!wanted.mac || !wanted.address) return std::nullopt;
        return wanted;
    }
    if ((wanted.mac = parseMacText(text))) return wanted;
    if ((wanted.address = parseDottedText(text))) return wanted;
    return std::nullopt;
}

bool checkDeviceText(const std::string& device) {
    if (parseDeviceText(device)) return true;
    std::cerr << "tamroctl: \"" << device
              << "\" names no device: give its MAC address (02-00-00-01-02-03), the IPv4 "
                 "address the device list shows, both as the list shows them "
                 "(\"02-00-00-01-02-03 / 10.77.0.20\") or its list position (#0)\n";
    return false;
}

std::vector<std::int32_t> matchingDevices(const Form& form, const DeviceTable& table,
                                          const DeviceText& wanted) {
    std::vector<std::int32_t> matches;
    const std::int32_t count = std::min(form.itemCount(ControlId::deviceList), maxDevices);
    if (wanted.position) {
        if (*wanted.position < count) matches.push_back(*wanted.position);
        return matches;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        if (wanted.mac && record.mac != *wanted.mac) continue;
        if (wanted.address && parseDottedText(shownAddress(record)) != wanted.address) continue;
        matches.push_back(i);
    }
    return matches;
}

void listCandidates(const DeviceTable& devices, const std::vector<std::int32_t>& matches,
                    std::ostream& out) {
    for (const std::int32_t i : matches) {
        const DeviceRecord& record = devices.devices[static_cast<std::size_t>(i)];
        out << "  \"" << deviceListEntry(record) << "\"  or  #" << i << '\n';
    }
}

}  // namespace tamro::cli
