#include "device_json.h"

#include <algorithm>
#include <string>

#include "platform/port_holder.h"
#include "platform/text.h"
#include "protocol/device_search.h"
#include "protocol/exchange.h"

namespace tamro::cli {

nlohmann::ordered_json deviceJson(const DeviceRecord& record, const std::vector<MacAddress>& sharing) {
    nlohmann::ordered_json device;
    device["mac"] = macText(record.mac);
    device["ip"] = toDottedText(record.peer.address);
    device["typeCode"] = fromCodePage932(std::string(record.typeCode.data(), record.typeCode.size()));
    device["configured"] = record.configured == 1;
    nlohmann::ordered_json conflict = nlohmann::ordered_json::array();
    for (const MacAddress& mac : sharing) conflict.push_back(macText(mac));
    device["conflict"] = std::move(conflict);
    if (record.configured != 1) return device;

    nlohmann::ordered_json settings;
    settings["dhcp"] = record.dhcp == 1;
    settings["ipAddress"] = toDottedText(record.ipAddress);
    settings["netmask"] = toDottedText(record.netmask);
    settings["gateway"] = toDottedText(record.gateway);
    settings["localPort"] = record.localPort;
    settings["baudRate"] = record.baudRate;
    settings["dataBits"] = record.dataBits;
    settings["stopBits"] = record.stopBits;
    settings["parity"] = record.parity;
    settings["flowControl"] = record.flowControl;
    settings["connectMode"] = record.connectMode;
    settings["remoteIp"] = toDottedText(record.remoteIp);
    settings["remotePort"] = record.remotePort;
    settings["cp1Function"] = record.cp1Function;
    settings["cp2Function"] = record.cp2Function;
    settings["cp3Function"] = record.cp3Function;
    settings["protocol"] = record.protocol;
    settings["keepAlive"] = record.keepAlive;
    settings["packControl"] = record.packControl;
    device["settings"] = std::move(settings);
    return device;
}

nlohmann::ordered_json adapterJson(const AdapterRecord& record) {
    nlohmann::ordered_json adapter;
    adapter["name"] = utf8OrAscii(adapterName(record));
    adapter["address"] = toDottedText(record.address);
    adapter["mask"] = toDottedText(record.mask);
    return adapter;
}

nlohmann::ordered_json droppedJson(const std::vector<DroppedDevice>& dropped) {
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (const DroppedDevice& device : dropped) {
        nlohmann::ordered_json entry;
        entry["mac"] = macText(device.mac);
        entry["ip"] = toDottedText(device.address);
        entry["reason"] = device.reason;
        devices.push_back(std::move(entry));
    }
    return devices;
}

std::string portHolderText() {
    return describePortHolders(udpPortHolders(devicePort), devicePort);
}

void hintDoctor(const AdapterRecord& adapter, std::ostream& out) {
    // An empty list is most often the host's doing: a firewall, another
    // program on the port, or the wrong adapter.
    out << "tamroctl: to see what keeps devices from answering here, run: tamroctl doctor "
           "--adapter "
        << toDottedText(adapter.address) << '\n';
}

void reportDropped(const std::vector<DroppedDevice>& dropped, std::int32_t listed,
                   std::ostream& out) {
    if (dropped.empty()) return;
    const std::size_t answered = dropped.size() + static_cast<std::size_t>(std::max(listed, 0));
    out << answered << (answered == 1 ? " device" : " devices") << " answered; " << dropped.size()
        << (dropped.size() == 1 ? " was" : " were")
        << " dropped (the settings could not be read) and not listed:\n";
    for (const DroppedDevice& device : dropped) {
        out << "  " << macText(device.mac) << " / " << toDottedText(device.address);
        if (!device.reason.empty()) out << ": " << device.reason;
        out << '\n';
    }
}

}  // namespace tamro::cli
