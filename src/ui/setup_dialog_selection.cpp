#include <array>
#include <cstddef>
#include <string>

#include "hostnet/subnet.h"
#include "protocol/address_conflicts.h"
#include "protocol/vocabulary.h"
#include "ui/setup_dialog.h"

namespace tamro {

namespace {

// The text at a list position of a vocabulary, "" where there is none.
template <std::size_t size>
std::string_view textAt(const std::array<std::string_view, size>& texts, std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= size) return {};
    return texts[static_cast<std::size_t>(position)];
}

bool isZero(const Ipv4& address) { return address == Ipv4{}; }

}  // namespace

std::vector<std::array<std::uint8_t, 6>> SetupDialog::selectedDeviceSharesWith() const {
    return devicesSharingAddress(devices_, form_.itemCount(ControlId::deviceList),
                                 form_.selection(ControlId::deviceList));
}

void SetupDialog::onDeviceSelected() {
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return;
    if (device->configured == 1) {
        showDeviceSettings(*device);
        return;
    }
    // Nothing was read: only a new address can be given. On the subnet that
    // is because another device answered from the same address; it stays so
    // after that one has left the list, as nothing was read from this one.
    const AdapterRecord* adapter = selectedAdapter();
    const bool onSubnet = adapter != nullptr &&
                          sameSubnet(adapter->address, adapter->mask, device->peer.address) == 1;
    const bool shared = onSubnet || !selectedDeviceSharesWith().empty();
    resetSettings(false, shared ? OffReason::sharedAddress : OffReason::offSubnet);
    form_.setAddress(ControlId::ipAddressCtrl, device->peer.address);
    switchControl(ControlId::ipAddressCtrl, true, OffReason::none);
    switchControl(ControlId::pingButton, true, OffReason::none);
    switchControl(ControlId::writeButton, true, OffReason::none);
}

void SetupDialog::showDeviceSettings(const DeviceRecord& device) {
    resetSettings(true, OffReason::none);
    form_.setChecked(ControlId::dhcpCheck, device.dhcp == 1);
    applyDhcpState();
    form_.setAddress(ControlId::ipAddressCtrl, device.ipAddress);
    form_.setAddress(ControlId::netmaskCtrl, device.netmask);
    form_.setAddress(ControlId::gatewayCtrl, device.gateway);

    const std::int32_t protocol = protocolListPosition(device.protocol);
    form_.setText(ControlId::protocolCurrent, textAt(protocolTexts, protocol));
    form_.setSelection(ControlId::protocolCombo, protocol);

    const std::string port = std::to_string(device.localPort);
    form_.setText(ControlId::portCurrent, port);
    form_.setText(ControlId::portEdit, port);

    // Only a rate the list offers is shown; any other leaves both empty.
    const std::int32_t baud = baudListPosition(device.baudRate);
    form_.setText(ControlId::baudCurrent,
                  baud < 0 ? std::string() : std::to_string(device.baudRate));
    form_.setSelection(ControlId::baudCombo, baud);

    form_.setText(ControlId::dataBitsCurrent, std::to_string(device.dataBits));
    form_.setSelection(ControlId::dataBitsCombo, dataBitsListPosition(device.dataBits));
    form_.setText(ControlId::stopBitsCurrent, std::to_string(device.stopBits));
    form_.setSelection(ControlId::stopBitsCombo, stopBitsListPosition(device.stopBits));

    const std::int32_t parity = parityListPosition(device.parity);
    form_.setText(ControlId::parityCurrent, textAt(parityTexts, parity));
    form_.setSelection(ControlId::parityCombo, parity);

    const std::int32_t flow = flowListPosition(device.flowControl);
    form_.setText(ControlId::flowCurrent, textAt(flowTexts, flow));
    form_.setSelection(ControlId::flowCombo, flow);

    const std::array<std::int32_t, pinCount> pinCodes = {device.cp1Function, device.cp2Function,
                                                         device.cp3Function};
    const std::array<ControlId, pinCount> pinTexts = {ControlId::cp1Current, ControlId::cp2Current,
                                                      ControlId::cp3Current};
    const std::array<ControlId, pinCount> pinCombos = {ControlId::cp1Combo, ControlId::cp2Combo,
                                                       ControlId::cp3Combo};
    for (std::size_t pin = 0; pin < pinCodes.size(); ++pin) {
        form_.setText(pinTexts[pin], textAt(pinFunctionNames, pinCodes[pin]));
        form_.setSelection(pinCombos[pin],
                           pinListPosition(pinCodes[pin], static_cast<std::int32_t>(pin)));
    }

    // Only the low nibble is the connect condition; UDP's 0x0C reads as none.
    const std::int32_t connect = connectListPosition(device.connectMode & 0x0F);
    form_.setText(ControlId::connectCurrent, textAt(connectTexts, connect));
    form_.setSelection(ControlId::connectCombo, connect);

    if (!isZero(device.remoteIp)) {
        form_.setText(ControlId::remoteIpCurrent, toDottedText(device.remoteIp));
        form_.setAddress(ControlId::remoteIpCtrl, device.remoteIp);
    }
    if (device.remotePort != 0) {
        const std::string remotePort = std::to_string(device.remotePort);
        form_.setText(ControlId::remotePortCurrent, remotePort);
        form_.setText(ControlId::remotePortEdit, remotePort);
    }

    const std::string keepAlive = std::to_string(device.keepAlive);
    form_.setText(ControlId::keepAliveCurrent, keepAlive);
    form_.setText(ControlId::keepAliveEdit, keepAlive);

    const std::int32_t pack = packListPosition(device.packControl);
    form_.setText(ControlId::packCurrent, textAt(packTexts, pack));
    form_.setSelection(ControlId::packCombo, pack);

    applyModelConstraints();
    applyConnectCondition();
    applyProtocol();
}

}  // namespace tamro
