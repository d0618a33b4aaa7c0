#include "ui/setup_dialog.h"

#include <algorithm>
#include <cstddef>

#include "models/model_file.h"
#include "platform/text.h"
#include "ui/dialog_messages.h"

namespace tamro {

namespace {

// The model loader's messages become the dialog's message boxes.
class FrontEndMessageSink final : public MessageSink {
public:
    explicit FrontEndMessageSink(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}
    void showMessage(std::string_view text) override {
        frontEnd_.showMessage(text, MessageButtons::ok);
    }

private:
    FrontEnd& frontEnd_;
};

// Outside the settings controls: the search, the lists that change the
// table or the form, and the list the handlers read the device from.
constexpr std::array<ControlId, 4> suspendedOutsideSettings = {
    ControlId::searchButton, ControlId::adapterCombo, ControlId::modelCombo,
    ControlId::deviceList};

template <class Visit>
void forEachSuspended(Visit visit) {
    std::size_t index = 0;
    for (const ControlId id : suspendedOutsideSettings) visit(index++, id);
    for (const ControlId id : settingsControls) visit(index++, id);
}

}  // namespace

static_assert(suspendedOutsideSettings.size() + settingsControls.size() ==
              SetupDialog::suspendedControlCount());

SetupDialog::SetupDialog(FrontEnd& frontEnd, DialogServices& services, DeviceTable& devices,
                         const FileVersion& fileVersion)
    : frontEnd_(frontEnd), services_(services), devices_(devices), fileVersion_(fileVersion) {
    form_.setEvents(this);
}

bool SetupDialog::initDialog() {
    fillFixedLists(form_);

    FrontEndMessageSink sink(frontEnd_);
    if (loadModels(commandLine_, models_, sink, services_.executablePath()) == 0) {
        frontEnd_.endDialog(-1);
        return false;
    }
    for (std::int32_t i = 0; i < modelCount(); ++i) {
        // The file holds code page 932; the form, like every front end, holds UTF-8.
        form_.addItem(ControlId::modelCombo,
                      fromCodePage932(models_.models[static_cast<std::size_t>(i)].name));
    }
    // A program's selection raises no notification: no model rule runs here.
    if (modelCount() > 0) form_.setSelection(ControlId::modelCombo, 0);

    hideControlPinGroup(form_);
    resetSettings(false, OffReason::noDeviceRead);
    if (modelCount() == 0) switchControl(ControlId::modelCombo, false, OffReason::noModels);

    services_.enumerateAdapters(adapters_);
    if (adapterCount() == 0) {
        showMessage(noAdapterMessage);
        frontEnd_.endDialog(-1);
        return false;
    }
    for (std::int32_t i = 0; i < adapterCount(); ++i) {
        const AdapterRecord& adapter = adapters_.adapters[static_cast<std::size_t>(i)];
        form_.addItem(ControlId::adapterCombo, toDottedText(adapter.address) + " (" +
                                                   utf8OrAscii(adapterName(adapter)) + ")");
    }
    form_.setSelection(ControlId::adapterCombo, 0);

    applyInputLimits(form_);
    form_.setText(ControlId::versionText, formatVersionText(fileVersion_));
    return true;
}

void SetupDialog::handle(Handler handler, ControlId /*source*/) {
    // Everything that could reach the table or the form is switched off while
    // a worker runs; this catches a front end that dispatches regardless.
    if (work_ != Work::none) return;
    switch (handler) {
        case Handler::onSearch: onSearch(); break;
        case Handler::onDeviceSelected: onDeviceSelected(); break;
        case Handler::onPing: onPing(); break;
        case Handler::onWrite: onWrite(); break;
        case Handler::applyModelConstraints: applyModelConstraints(); break;
        case Handler::applyConnectCondition: applyConnectCondition(); break;
        case Handler::applyProtocol: applyProtocol(); break;
        case Handler::applyDhcpState: applyDhcpState(); break;
        case Handler::onAdapterChanged: onAdapterChanged(); break;
        // The window draws its minimised icon itself; the form has no part in it.
        case Handler::onPaint:
        case Handler::onQueryDragIcon: break;
    }
}

void SetupDialog::suspendForm(Work work) {
    work_ = work;
    forEachSuspended([this](std::size_t index, ControlId id) {
        suspendedEnabled_[index] = form_.enabled(id);
        form_.setEnabled(id, false);
    });
    frontEnd_.setBusy(true);
}

// Exactly as they were: the form then looks as if the work had run in place.
void SetupDialog::resumeForm() {
    forEachSuspended([this](std::size_t index, ControlId id) {
        form_.setEnabled(id, suspendedEnabled_[index]);
    });
    work_ = Work::none;
    frontEnd_.setBusy(false);
}

std::int32_t SetupDialog::modelCount() const {
    return std::clamp(models_.modelCount, std::int32_t{0}, maxModels);
}

std::int32_t SetupDialog::adapterCount() const {
    return std::clamp(adapters_.adapterCount, std::int32_t{0},
                      static_cast<std::int32_t>(adapters_.adapters.size()));
}

const AdapterRecord* SetupDialog::selectedAdapter() const {
    const std::int32_t position = form_.selection(ControlId::adapterCombo);
    if (position < 0 || position >= adapterCount()) return nullptr;
    return &adapters_.adapters[static_cast<std::size_t>(position)];
}

const ModelRecord* SetupDialog::selectedModel() const {
    const std::int32_t position = form_.selection(ControlId::modelCombo);
    if (position < 0 || position >= modelCount()) return nullptr;
    return &models_.models[static_cast<std::size_t>(position)];
}

const DeviceRecord* SetupDialog::selectedDevice() const {
    const std::int32_t position = form_.selection(ControlId::deviceList);
    if (position < 0 || position >= maxDevices) return nullptr;
    return &devices_.devices[static_cast<std::size_t>(position)];
}

OffReason SetupDialog::offReason(ControlId id) const {
    if (form_.enabled(id)) return OffReason::none;
    if (work_ != Work::none) return OffReason::busy;
    const std::int32_t index = numberedIndex(id);
    return index < 0 ? OffReason::none : offReasons_[static_cast<std::size_t>(index)];
}

void SetupDialog::switchControl(ControlId id, bool on, OffReason why) {
    form_.setEnabled(id, on);
    const std::int32_t index = numberedIndex(id);
    if (index >= 0) offReasons_[static_cast<std::size_t>(index)] = on ? OffReason::none : why;
}

void SetupDialog::resetSettings(bool enable, OffReason why) {
    resetSettingControls(form_, enable);
    for (const ControlId id : settingsControls) switchControl(id, enable, why);
}

void SetupDialog::showMessage(std::string_view text) {
    frontEnd_.showMessage(text, MessageButtons::ok);
}

bool SetupDialog::confirm(std::string_view text) {
    return frontEnd_.showMessage(text, MessageButtons::okCancel) == MessageAnswer::ok;
}

void runApplication(FrontEnd& frontEnd, DialogServices& services, DeviceTable& devices,
                    std::string_view commandLine,
                    const std::function<void(SetupDialog&)>& runDialog) {
    SetupDialog dialog(frontEnd, services, devices);
    if (!commandLine.empty()) dialog.setCommandLine(commandLine);
    if (dialog.initDialog() && runDialog) runDialog(dialog);
}

std::string commandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

}  // namespace tamro
