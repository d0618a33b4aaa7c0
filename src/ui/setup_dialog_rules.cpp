#include <array>
#include <initializer_list>
#include <string>

#include "protocol/vocabulary.h"
#include "ui/setup_dialog.h"

namespace tamro {

namespace {

constexpr std::int32_t noConstraint = -1;

constexpr std::array<ControlId, 5> serialCombos = {ControlId::baudCombo, ControlId::dataBitsCombo,
                                                   ControlId::stopBitsCombo, ControlId::parityCombo,
                                                   ControlId::flowCombo};

constexpr std::array<ControlId, 3> pinCombos = {ControlId::cp1Combo, ControlId::cp2Combo,
                                                ControlId::cp3Combo};

constexpr std::array<ControlId, 2> destinationControls = {ControlId::remoteIpCtrl,
                                                          ControlId::remotePortEdit};

// What a model makes of the client-mode controls.
enum class ClientMode : std::int32_t { none = 0, full = 1, fixed = 2 };

constexpr std::int32_t udpPosition = 1;
constexpr std::int32_t noConnectPosition = 0;
constexpr std::int32_t serialReceptionPosition = 1;

void selectWhenGiven(Form& form, ControlId id, std::int32_t position) {
    if (position != noConstraint) form.setSelection(id, position);
}

}  // namespace

void SetupDialog::enableDestination(bool enable, OffReason why) {
    for (const ControlId id : destinationControls) switchControl(id, enable, why);
}

void SetupDialog::applyModelConstraints() {
    if (modelCount() == 0) return;
    // The rules shape a read device's settings; a device off the subnet has none.
    const DeviceRecord* device = selectedDevice();
    if (device == nullptr || device->configured == 0) return;
    const ModelRecord* model = selectedModel();
    if (model == nullptr) return;

    for (const ControlId id :
         {ControlId::portEdit, ControlId::baudCombo, ControlId::dataBitsCombo,
          ControlId::stopBitsCombo, ControlId::parityCombo, ControlId::flowCombo,
          ControlId::cp1Combo, ControlId::cp2Combo, ControlId::cp3Combo, ControlId::connectCombo,
          ControlId::remoteIpCtrl, ControlId::remotePortEdit}) {
        switchControl(id, true, OffReason::none);
    }
    switchControl(ControlId::portEdit, model->fixedPort == noConstraint, OffReason::modelFixedPort);
    for (const ControlId id : serialCombos) {
        switchControl(id, model->serialEditable != 0, OffReason::modelFixedSerial);
    }

    if (model->fixedPort != noConstraint) {
        form_.setText(ControlId::portEdit, std::to_string(model->fixedPort));
    }
    selectWhenGiven(form_, ControlId::baudCombo, model->defaultBaudIndex);
    selectWhenGiven(form_, ControlId::dataBitsCombo, model->defaultDataBitsIndex);
    selectWhenGiven(form_, ControlId::parityCombo, model->defaultParityIndex);
    selectWhenGiven(form_, ControlId::stopBitsCombo, model->defaultStopBitsIndex);
    selectWhenGiven(form_, ControlId::flowCombo, model->defaultFlowIndex);

    // After the default, so that a default above the limit ends at the limit.
    if (model->maxBaudIndex != noConstraint &&
        form_.selection(ControlId::baudCombo) > model->maxBaudIndex) {
        form_.setSelection(ControlId::baudCombo, model->maxBaudIndex);
    }

    for (const ControlId id : pinCombos) {
        switchControl(id, model->cpPinsEditable != 0, OffReason::modelFixedPins);
    }
    const std::array<std::int32_t, pinCount> pinDefaults = {
        model->defaultCp1Function, model->defaultCp2Function, model->defaultCp3Function};
    for (std::size_t pin = 0; pin < pinCombos.size(); ++pin) {
        if (pinDefaults[pin] == noConstraint) continue;
        form_.setSelection(pinCombos[pin],
                           pinListPosition(pinDefaults[pin], static_cast<std::int32_t>(pin)));
    }

    switch (static_cast<ClientMode>(model->clientMode)) {
        case ClientMode::none:
            switchControl(ControlId::protocolCombo, false, OffReason::modelNoClientMode);
            switchControl(ControlId::connectCombo, false, OffReason::modelNoClientMode);
            enableDestination(false, OffReason::modelNoClientMode);
            form_.setSelection(ControlId::connectCombo, noConnectPosition);
            break;
        case ClientMode::full:
            switchControl(ControlId::protocolCombo, true, OffReason::none);
            switchControl(ControlId::connectCombo, true, OffReason::none);
            enableDestination(true, OffReason::none);
            break;
        case ClientMode::fixed:
            switchControl(ControlId::protocolCombo, true, OffReason::none);
            switchControl(ControlId::connectCombo, false, OffReason::modelFixedConnect);
            enableDestination(true, OffReason::none);
            form_.setSelection(ControlId::connectCombo, serialReceptionPosition);
            break;
        default:  // unknown modes leave the client-mode controls as they are
            break;
    }

    applyConnectCondition();
    applyProtocol();
}

void SetupDialog::applyDhcpState() {
    const bool manual = !form_.checked(ControlId::dhcpCheck);
    for (const ControlId id : {ControlId::ipAddressCtrl, ControlId::netmaskCtrl,
                               ControlId::gatewayCtrl, ControlId::pingButton}) {
        switchControl(id, manual, OffReason::automaticAddress);
    }
}

void SetupDialog::applyConnectCondition() {
    // No selection counts as a connect condition, like every position but 0.
    // Under a model without client mode the model is the reason, whatever
    // the list holds.
    const ModelRecord* model = selectedModel();
    const bool locked =
        model != nullptr && model->clientMode == static_cast<std::int32_t>(ClientMode::none);
    enableDestination(form_.selection(ControlId::connectCombo) != noConnectPosition,
                      locked ? OffReason::modelNoClientMode : OffReason::noConnectCondition);
}

void SetupDialog::applyProtocol() {
    // A model without client mode has locked these controls for good.
    if (const ModelRecord* model = selectedModel();
        model != nullptr && model->clientMode == static_cast<std::int32_t>(ClientMode::none)) {
        return;
    }
    if (form_.selection(ControlId::protocolCombo) == udpPosition) {
        // UDP has no connect condition, but always a destination.
        switchControl(ControlId::connectCombo, false, OffReason::udpProtocol);
        form_.setSelection(ControlId::connectCombo, noConnectPosition);
        applyConnectCondition();
        enableDestination(true, OffReason::none);
    } else {
        switchControl(ControlId::connectCombo, true, OffReason::none);
        applyConnectCondition();
    }
}

}  // namespace tamro
