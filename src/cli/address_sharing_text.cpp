#include "address_sharing_text.h"

#include "platform/ipv4.h"
#include "protocol/device_address.h"

namespace tamro::cli {

std::string macListText(const std::vector<std::array<std::uint8_t, 6>>& macs) {
    std::string text;
    for (const auto& mac : macs) {
        if (!text.empty()) text += ", ";
        text += macText(mac);
    }
    return text;
}

std::string assignAdvice(const std::array<std::uint8_t, 6>& mac) {
    return "tamroctl assign " + macText(mac) + " FREE_ADDRESS";
}

std::string sharedAddressText(const DeviceRecord& device,
                              const std::vector<std::array<std::uint8_t, 6>>& others) {
    if (others.empty()) return {};
    return toDottedText(device.peer.address) + " is also the address of " + macListText(others) +
           ": the settings of " + macText(device.mac) +
           " were not read (a read or write by address reaches whichever device answers). "
           "Give it its own address: " +
           assignAdvice(device.mac);
}

std::string sharedAddressReason(const SetupDialog& dialog) {
    const DeviceRecord* device = dialog.selectedDevice();
    if (device == nullptr) return "another listed device answers from its address";
    const auto others = dialog.selectedDeviceSharesWith();
    // The other device may have left the list after its own assignment.
    if (others.empty()) {
        return "another device answered from " + toDottedText(device->peer.address) +
               " in the search, so nothing was read: only its new address (--ip) can be given, "
               "or search again. Give it its own address: " +
               assignAdvice(device->mac);
    }
    return sharedAddressText(*device, others) + " (only its new address, --ip, can be given here)";
}

}  // namespace tamro::cli
