#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "protocol/address_rules.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"
#include "ui/dialog_messages.h"
#include "ui/setup_dialog.h"

namespace tamro {

namespace {

constexpr std::int32_t lowestPort = 1024;
constexpr std::int32_t highestPort = 65535;
constexpr std::int32_t highestKeepAlive = 65;
constexpr std::int32_t noConnectPosition = 0;
constexpr std::int32_t udpPosition = 1;
constexpr std::string_view unsetAddressText = "0.0.0.0";

// Outside the form, yet able to change the table or the form under a
// running write: a search, an adapter change, a model choice.
constexpr std::array<ControlId, 3> writeGuardControls = {
    ControlId::searchButton, ControlId::adapterCombo, ControlId::modelCombo};

bool isPort(std::int32_t number) { return number >= lowestPort && number <= highestPort; }

// With the automatic address ticked the stored address is never used, so
// only a fixed one is judged. An assignment carries no mask: the device
// lands on the adapter's subnet.
AddressFault newAddressFault(const Form& form, const AdapterRecord* adapter, bool assignment) {
    const Ipv4 adapterAddress = adapter != nullptr ? adapter->address : Ipv4{};
    const Ipv4 address = form.address(ControlId::ipAddressCtrl).value();
    if (assignment) {
        return addressFault(address, adapter != nullptr ? adapter->mask : Ipv4{}, adapterAddress);
    }
    if (form.checked(ControlId::dhcpCheck)) return AddressFault::none;
    return addressFault(address, form.address(ControlId::netmaskCtrl).value(), adapterAddress);
}

}  // namespace

void SetupDialog::setFormEnabled(bool enable) {
    for (const ControlId id : formControls) switchControl(id, enable, OffReason::afterWrite);
}

void SetupDialog::setWriteGuard(bool writing) {
    work_ = writing ? Work::write : Work::none;
    for (const ControlId id : writeGuardControls) form_.setEnabled(id, !writing);
    // Without models the model list stays off for good.
    if (!writing && modelCount() == 0) {
        switchControl(ControlId::modelCombo, false, OffReason::noModels);
    }
}

void SetupDialog::refuseWrite(WriteCheck check, std::string_view message) {
    lastWrite_.result = WriteResult::refused;
    lastWrite_.failedCheck = check;
    lastWrite_.message = std::string(message);
    showMessage(message);
}

WriteCheck SetupDialog::validateWrite() {
    if (!isPort(decimalValue(form_.text(ControlId::portEdit)))) {
        refuseWrite(WriteCheck::port, portErrorMessage);
        return WriteCheck::port;
    }

    // TCP that never connects needs no destination; everything else does.
    const std::int32_t connect = form_.selection(ControlId::connectCombo);
    const std::int32_t protocol = form_.selection(ControlId::protocolCombo);
    if (connect != noConnectPosition || protocol == udpPosition) {
        if (form_.text(ControlId::remoteIpCtrl) == unsetAddressText) {
            refuseWrite(WriteCheck::remoteAddress, remoteIpErrorMessage);
            return WriteCheck::remoteAddress;
        }
        if (!isPort(decimalValue(form_.text(ControlId::remotePortEdit)))) {
            refuseWrite(WriteCheck::remotePort, remotePortErrorMessage);
            return WriteCheck::remotePort;
        }
    }

    if (const ModelRecord* model = selectedModel();
        model != nullptr && model->maxBaudIndex != -1 &&
        form_.selection(ControlId::baudCombo) > model->maxBaudIndex) {
        // A limit below the list (a broken model line) still refuses, but
        // there is no rate to name.
        const bool named = model->maxBaudIndex >= 0 &&
                           static_cast<std::size_t>(model->maxBaudIndex) < baudTexts.size();
        refuseWrite(WriteCheck::baudLimit,
                    baudLimitMessage(named ? baudTexts[static_cast<std::size_t>(model->maxBaudIndex)]
                                           : std::string_view{}));
        return WriteCheck::baudLimit;
    }

    // Kept before the range test: the write takes the value from here.
    pendingKeepAlive_ = decimalValue(form_.text(ControlId::keepAliveEdit));
    if (pendingKeepAlive_ < 0 || pendingKeepAlive_ > highestKeepAlive) {
        refuseWrite(WriteCheck::keepAlive, keepAliveRangeMessage);
        return WriteCheck::keepAlive;
    }
    if (refuseAddress(false)) return WriteCheck::address;
    return WriteCheck::none;
}

bool SetupDialog::refuseAddress(bool assignment) {
    const AddressFault fault = newAddressFault(form_, selectedAdapter(), assignment);
    if (fault == AddressFault::none) return false;
    const Ipv4 address = form_.address(ControlId::ipAddressCtrl).value();
    lastWrite_.addressFault = fault;
    lastWrite_.refusedAddress = address;
    refuseWrite(WriteCheck::address, deviceAddressErrorMessage(toDottedText(address)));
    return true;
}

void SetupDialog::onWrite() {
    if (work_ != Work::none) return;
    const std::int32_t position = form_.selection(ControlId::deviceList);
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return;

    lastWrite_ = WriteAttempt{};
    lastWrite_.number = ++writeAttempts_;
    lastWrite_.assignment = device->configured != 1;
    lastWrite_.mac = device->mac;
    lastWrite_.deviceAddress = device->peer.address;
    if (device->configured == 1) {
        if (validateWrite() != WriteCheck::none) return;
        const ModelRecord* model = selectedModel();
        // Model names are the file's code page 932 bytes; the message around
        // them is UTF-8, so the name alone is converted.
        if (!confirm(model != nullptr ? modelWriteConfirmationMessage(fromCodePage932(model->name))
                                      : std::string(writeConfirmationMessage))) {
            lastWrite_.result = WriteResult::cancelled;
            return;
        }
    } else {
        // Off the subnet only an address goes out.
        if (refuseAddress(true)) return;
        if (!confirm(writeConfirmationMessage)) {
            lastWrite_.result = WriteResult::cancelled;
            return;
        }
    }
    startWrite(*device, position);
}

void SetupDialog::startWrite(const DeviceRecord& device, std::int32_t position) {
    WriteJob job;
    job.position = position;
    job.configured = device.configured == 1;
    job.deviceAddress = device.peer.address;
    job.mac = device.mac;
    job.newAddress = form_.address(ControlId::ipAddressCtrl).value();
    if (const AdapterRecord* adapter = selectedAdapter()) job.adapterAddress = adapter->address;
    job.controls = readWriteControls(form_);
    job.pendingKeepAlive = pendingKeepAlive_;
    if (const ModelRecord* model = selectedModel()) job.modelVariant = model->modelVariant;

    // Off before the worker exists, so no action can slip in between.
    setFormEnabled(false);
    setWriteGuard(true);
    frontEnd_.startWorker([this, job] { writeWorker(job); });
}

// Runs on the worker's thread: only the job and the services.
void SetupDialog::writeWorker(const WriteJob& job) {
    bool succeeded = false;
    std::string message;
    std::int32_t blocksAccepted = 0;
    // Another program writing through this adapter would interleave its
    // blocks with ours on one device.
    if (!services_.claimWriter(job.adapterAddress, message)) {
        frontEnd_.runOnDialogThread([this, &job, &message] {
            finishWrite(job.position, false, message, 0);
        });
        return;
    }
    if (!job.configured) {
        succeeded = services_.assignDeviceAddress(job.mac, job.newAddress, job.adapterAddress) == 1;
        if (!succeeded) message = communicationErrorMessage;
    } else {
        const WriteOutcome outcome = services_.writeConfiguration(
            job.deviceAddress, job.controls, job.pendingKeepAlive, job.modelVariant);
        succeeded = outcome.result == 1;
        blocksAccepted = outcome.blocksAccepted;
        // The write names its own failure.
        if (!succeeded) message = outcome.message;
    }
    services_.releaseWriter();
    frontEnd_.runOnDialogThread([this, &job, succeeded, &message, blocksAccepted] {
        finishWrite(job.position, succeeded, message, blocksAccepted);
    });
}

void SetupDialog::finishWrite(std::int32_t position, bool succeeded, std::string_view message,
                              std::int32_t blocksAccepted) {
    lastWrite_.result = succeeded ? WriteResult::written : WriteResult::failed;
    lastWrite_.blocksAccepted = blocksAccepted;
    lastWrite_.message = succeeded ? std::string() : std::string(message);
    if (succeeded) {
        showMessage(writeCompleteMessage);
        // The device restarts with its new settings; the next search finds it.
        if (removeDevice(devices_, position)) form_.removeItem(ControlId::deviceList, position);
        form_.setEnabled(ControlId::deviceList, true);
    } else if (!message.empty()) {
        showMessage(message);
    }
    // The rest of the form stays off either way; a search or a device
    // selection sets it afresh.
    setWriteGuard(false);
}

}  // namespace tamro
