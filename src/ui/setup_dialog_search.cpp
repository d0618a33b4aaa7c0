#include <cstddef>
#include <memory>
#include <string>

#include "protocol/device_search.h"
#include "protocol/messages.h"
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

// The search lasts at least a second of discovery plus the reads: it runs
// on a worker, on a copy of the table, while everything that could change
// the table or read the form is off.
void SetupDialog::onSearch() {
    if (work_ != Work::none) return;
    resetSettingControls(form_, false);
    const AdapterRecord* adapter = selectedAdapter();
    if (adapter == nullptr) return;

    auto job = std::make_shared<SearchJob>();
    job->adapter =
        SearchAdapter{adapter->address, adapter->mask, adapterInterfaceName(*adapter)};
    job->table = std::make_unique<DeviceTable>(devices_);
    suspendForm(Work::search);
    frontEnd_.startWorker([this, job] {
        job->found = services_.searchDevices(*job->table, job->adapter);
        frontEnd_.runOnDialogThread([this, job] { finishSearch(*job); });
    });
}

void SetupDialog::finishSearch(SearchJob& job) {
    resumeForm();
    if (job.found < 0) {
        // Discovery may fail after it has stored replies over the rows the
        // list still shows. The dialog's table is the table as it was, which
        // tells the two failures apart without asking discovery how far it
        // got.
        if (job.table->devices != devices_.devices) {
            // Some rows now hold this run's replies: no entry may point at them.
            devices_ = *job.table;
            form_.clearItems(ControlId::deviceList);
        }
        // Otherwise nothing was stored (socket or bind failed): the table,
        // its count included, still is what the list describes, so a later
        // removal still finds its row.
        showMessage(communicationErrorMessage);
        return;
    }

    devices_ = *job.table;
    form_.clearItems(ControlId::deviceList);
    const std::int32_t count = std::min(job.found, maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        form_.addItem(ControlId::deviceList,
                      deviceListEntry(devices_.devices[static_cast<std::size_t>(i)]));
    }
    form_.setEnabled(ControlId::deviceList, true);
}

void SetupDialog::onAdapterChanged() {
    form_.clearItems(ControlId::deviceList);
    resetSettingControls(form_, false);
}

void SetupDialog::onDeviceSelected() {
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return;
    if (device->configured == 1) {
        showDeviceSettings(*device);
        return;
    }
    // Off the subnet nothing was read: only a new address can be given.
    resetSettingControls(form_, false);
    form_.setAddress(ControlId::ipAddressCtrl, device->peer.address);
    form_.setEnabled(ControlId::ipAddressCtrl, true);
    form_.setEnabled(ControlId::pingButton, true);
    form_.setEnabled(ControlId::writeButton, true);
}

void SetupDialog::showDeviceSettings(const DeviceRecord& device) {
    resetSettingControls(form_, true);
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
