#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"
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

}  // namespace

void SetupDialog::setFormEnabled(bool enable) {
    for (const ControlId id : formControls) form_.setEnabled(id, enable);
}

void SetupDialog::setWriteGuard(bool writing) {
    work_ = writing ? Work::write : Work::none;
    for (const ControlId id : writeGuardControls) form_.setEnabled(id, !writing);
    // Without models the model list stays off for good.
    if (!writing && modelCount() == 0) form_.setEnabled(ControlId::modelCombo, false);
}

bool SetupDialog::validateWrite() {
    if (!isPort(decimalValue(form_.text(ControlId::portEdit)))) {
        showMessage(portErrorMessage);
        return false;
    }

    // TCP that never connects needs no destination; everything else does.
    const std::int32_t connect = form_.selection(ControlId::connectCombo);
    const std::int32_t protocol = form_.selection(ControlId::protocolCombo);
    if (connect != noConnectPosition || protocol == udpPosition) {
        if (form_.text(ControlId::remoteIpCtrl) == unsetAddressText) {
            showMessage(remoteIpErrorMessage);
            return false;
        }
        if (!isPort(decimalValue(form_.text(ControlId::remotePortEdit)))) {
            showMessage(remotePortErrorMessage);
            return false;
        }
    }

    if (const ModelRecord* model = selectedModel();
        model != nullptr && model->maxBaudIndex != -1 &&
        form_.selection(ControlId::baudCombo) > model->maxBaudIndex) {
        // A limit below the list (a broken model line) still refuses, but
        // there is no rate to name.
        const bool named = model->maxBaudIndex >= 0 &&
                           static_cast<std::size_t>(model->maxBaudIndex) < baudTexts.size();
        showMessage(baudLimitMessage(
            named ? baudTexts[static_cast<std::size_t>(model->maxBaudIndex)] : std::string_view{}));
        return false;
    }

    // Kept before the range test: the write takes the value from here.
    pendingKeepAlive_ = decimalValue(form_.text(ControlId::keepAliveEdit));
    if (pendingKeepAlive_ < 0 || pendingKeepAlive_ > highestKeepAlive) {
        showMessage(keepAliveRangeMessage);
        return false;
    }
    return true;
}

void SetupDialog::onWrite() {
    if (work_ != Work::none) return;
    const std::int32_t position = form_.selection(ControlId::deviceList);
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return;

    if (device->configured == 1) {
        if (!validateWrite()) return;
        const ModelRecord* model = selectedModel();
        // Model names are the file's bytes (code page 932 or UTF-8); the
        // message around them is UTF-8, so the name is converted first.
        if (!confirm(model != nullptr ? modelWriteConfirmationMessage(toDisplayText(model->name))
                                      : std::string(writeConfirmationMessage))) {
            return;
        }
    } else if (!confirm(writeConfirmationMessage)) {
        // Off the subnet only an address goes out, and any address will do.
        return;
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
    if (!job.configured) {
        succeeded = services_.assignDeviceAddress(job.mac, job.newAddress, job.adapterAddress) == 1;
        if (!succeeded) message = communicationErrorMessage;
    } else {
        const WriteOutcome outcome = services_.writeConfiguration(
            job.deviceAddress, job.controls, job.pendingKeepAlive, job.modelVariant);
        succeeded = outcome.result == 1;
        // The write names its own failure.
        if (!succeeded) message = outcome.message;
    }
    frontEnd_.runOnDialogThread(
        [this, &job, succeeded, &message] { finishWrite(job.position, succeeded, message); });
}

void SetupDialog::finishWrite(std::int32_t position, bool succeeded, std::string_view message) {
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

namespace {

// 0: no answer; 1: answered, by the device itself at its present address,
// which is no conflict; 2: answered by someone else.
std::int32_t probeResult(std::int32_t answered, const Ipv4& target, const Ipv4& device) {
    if (answered == 0) return 0;
    return target == device ? 1 : 2;
}

std::string_view probeMessage(std::int32_t result) {
    switch (result) {
        case 0: return pingNoAnswerMessage;
        case 1: return pingAnsweredMessage;
        default: return pingConflictMessage;
    }
}

}  // namespace

// The echo waits up to a second: it runs on a worker with the two addresses
// it needs, and the answer is shown on the dialog's thread.
void SetupDialog::onPing() {
    if (work_ != Work::none) return;
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) {
        showMessage(probeMessage(0));
        return;
    }
    const Ipv4 target = form_.address(ControlId::ipAddressCtrl).value();
    const Ipv4 own = device->peer.address;
    suspendForm(Work::probe);
    frontEnd_.startWorker([this, target, own] {
        const std::int32_t answered = services_.sendEchoProbe(target);
        frontEnd_.runOnDialogThread([this, answered, target, own] {
            resumeForm();
            showMessage(probeMessage(probeResult(answered, target, own)));
        });
    });
}

std::int32_t SetupDialog::probeAddress() {
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return 0;
    const Ipv4 target = form_.address(ControlId::ipAddressCtrl).value();
    return probeResult(services_.sendEchoProbe(target), target, device->peer.address);
}

}  // namespace tamro
