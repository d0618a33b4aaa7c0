#include <string_view>

#include "protocol/address_conflicts.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"
#include "ui/setup_dialog.h"

namespace tamro {

namespace {

// 0: no answer; 1: answered, by the device itself at its present address,
// which is no conflict; 2: answered by someone else, or another listed
// device answers from the target (its echo may be dropped by a firewall).
std::int32_t probeResult(std::int32_t answered, const Ipv4& target, const Ipv4& device,
                         bool listedDeviceThere) {
    if (listedDeviceThere) return 2;
    if (answered == 0) return 0;
    return target == device ? 1 : 2;
}

PingResult pingResult(std::int32_t result) {
    switch (result) {
        case 0: return PingResult::noAnswer;
        case 1: return PingResult::deviceItself;
        default: return PingResult::otherHost;
    }
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
        lastPing_ = {PingResult::noDevice, Ipv4{}};
        showMessage(probeMessage(0));
        return;
    }
    const Ipv4 target = form_.address(ControlId::ipAddressCtrl).value();
    const Ipv4 own = device->peer.address;
    const bool listed =
        !otherDevicesAt(devices_, form_.itemCount(ControlId::deviceList), target, device->mac)
             .empty();
    suspendForm(Work::probe);
    frontEnd_.startWorker([this, target, own, listed] {
        const std::int32_t answered = services_.sendEchoProbe(target);
        frontEnd_.runOnDialogThread([this, answered, target, own, listed] {
            resumeForm();
            const std::int32_t result = probeResult(answered, target, own, listed);
            lastPing_ = {pingResult(result), target, listed};
            showMessage(probeMessage(result));
        });
    });
}

std::int32_t SetupDialog::probeAddress() {
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr) return 0;
    const Ipv4 target = form_.address(ControlId::ipAddressCtrl).value();
    const bool listed =
        !otherDevicesAt(devices_, form_.itemCount(ControlId::deviceList), target, device->mac)
             .empty();
    return probeResult(services_.sendEchoProbe(target), target, device->peer.address, listed);
}

}  // namespace tamro
