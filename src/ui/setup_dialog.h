#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostnet/adapters.h"
#include "models/model_table.h"
#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "protocol/device_search.h"
#include "protocol/device_table.h"
#include "ui/dialog_outcomes.h"
#include "ui/dialog_services.h"
#include "ui/file_version.h"
#include "ui/form.h"
#include "ui/front_end.h"

namespace tamro {

// What a confirmed write needs, taken from the form and the table on the
// dialog's thread. The worker reads nothing else, so it never touches the
// form or the table while the dialog's thread may.
struct WriteJob {
    std::int32_t position = -1;  // list position, which is the table row
    bool configured = false;     // on the adapter's subnet: write; else assign
    Ipv4 deviceAddress;          // where the device answered discovery from
    std::array<std::uint8_t, 6> mac{};
    Ipv4 newAddress;      // ipAddressCtrl, for an assignment
    Ipv4 adapterAddress;  // an assignment leaves through this adapter
    WriteControlValues controls;
    std::int32_t pendingKeepAlive = 0;
    std::optional<std::int32_t> modelVariant;  // nothing when no model is chosen
};

// What a search needs off the dialog's thread: the adapter, and a table of
// its own to fill, so that the dialog's table and list keep agreeing until
// the results are taken over on the dialog's thread.
struct SearchJob {
    SearchAdapter adapter;
    std::unique_ptr<DeviceTable> table;
    std::int32_t found = -1;
};

// The setup dialog's logic on a control model. Front ends feed the user's
// actions into form() (which dispatches them here through the event map)
// and show what form() holds; message boxes, the end of the dialog and the
// write worker go through the FrontEnd.
//
// Everything runs on the dialog's thread except the workers of the write,
// the search and the address probe, which reach the dialog only through
// FrontEnd::runOnDialogThread. A front end lets a started worker finish
// before it destroys the dialog.
class SetupDialog final : public FormEvents {
public:
    // `devices` is the table the searches fill (the process's table in the
    // program); it must outlive the dialog.
    SetupDialog(FrontEnd& frontEnd, DialogServices& services, DeviceTable& devices,
                const FileVersion& fileVersion = buildFileVersion());
    SetupDialog(const SetupDialog&) = delete;
    SetupDialog& operator=(const SetupDialog&) = delete;
    ~SetupDialog() = default;

    // The text after the program's name; a model file's path when it
    // contains ".dat".
    void setCommandLine(std::string_view text) { commandLine_ = std::string(text); }
    const std::string& commandLine() const { return commandLine_; }

    // Prepares the controls, loads the models and the adapters. False after
    // it has ended the dialog with -1: a model file named on the command line
    // failed, or there is no usable adapter.
    bool initDialog();

    Form& form() { return form_; }
    const Form& form() const { return form_; }
    const ModelTable& models() const { return models_; }
    const AdapterTable& adapters() const { return adapters_; }
    const FileVersion& fileVersion() const { return fileVersion_; }
    std::int32_t pendingKeepAlive() const { return pendingKeepAlive_; }
    // From a confirmed write until its outcome has been shown.
    bool writeRunning() const { return work_ == Work::write; }
    static constexpr std::size_t suspendedControlCount() { return suspendedCount; }
    // From the press of the button until the results are on the form.
    bool searchRunning() const { return work_ == Work::search; }
    bool probeRunning() const { return work_ == Work::probe; }

    // What the last search, write (or assignment) and PING came to.
    const SearchOutcome& lastSearch() const { return lastSearch_; }
    const WriteAttempt& lastWrite() const { return lastWrite_; }
    const PingOutcome& lastPing() const { return lastPing_; }
    // Why `id` is off just now: none while it is on; busy while a worker runs.
    OffReason offReason(ControlId id) const;
    // The model the list has chosen, or nullptr.
    const ModelRecord* selectedModel() const;
    // The record behind the list's selection, or nullptr.
    const DeviceRecord* selectedDevice() const;
    // The MACs of the other listed devices that answer from the selected
    // device's address; empty when it is the only one there.
    std::vector<std::array<std::uint8_t, 6>> selectedDeviceSharesWith() const;

    // The event map's target for the user's actions on form().
    void handle(Handler handler, ControlId source) override;

    // --- reading side ---
    void onSearch();
    void onAdapterChanged();
    void onDeviceSelected();
    void showDeviceSettings(const DeviceRecord& device);

    // --- rules on the form ---
    void applyModelConstraints();
    void applyDhcpState();
    void applyConnectCondition();
    void applyProtocol();

    // --- writing side ---
    void setFormEnabled(bool enable);
    void onWrite();
    void onPing();
    // 0: no answer; 1: answered, and the address to set is the device's own;
    // 2: answered, and the addresses differ.
    std::int32_t probeAddress();

private:
    enum class Work { none, write, search, probe };
    // What a search or a probe switches off: whatever could change the
    // table or read the form.
    static constexpr std::size_t suspendedCount = 4 + settingsControls.size();

    // Switches those controls off, noting how they were, and marks the
    // dialog busy; resumeForm puts them back.
    void suspendForm(Work work);
    void resumeForm();
    void finishSearch(SearchJob& job);

    // The tables' counts, kept within the tables.
    std::int32_t modelCount() const;
    std::int32_t adapterCount() const;
    const AdapterRecord* selectedAdapter() const;
    void showMessage(std::string_view text);
    // Switches a control on or off for a rule, noting why it is off.
    void switchControl(ControlId id, bool on, OffReason why);
    // Empties the settings controls and switches them all on, or all off
    // for `why`.
    void resetSettings(bool enable, OffReason why);
    void enableDestination(bool enable, OffReason why);
    bool confirm(std::string_view text);

    // The checks of a write to a device on the subnet, in order: the first
    // that fails, with its message shown, or WriteCheck::none.
    WriteCheck validateWrite();
    void refuseWrite(WriteCheck check, std::string_view message);
    // Refuses, with its message shown, a new address no device should have.
    bool refuseAddress(bool assignment);
    void startWrite(const DeviceRecord& device, std::int32_t position);
    void writeWorker(const WriteJob& job);
    void finishWrite(std::int32_t position, bool succeeded, std::string_view message,
                     std::int32_t blocksAccepted);
    void setWriteGuard(bool writing);

    FrontEnd& frontEnd_;
    DialogServices& services_;
    DeviceTable& devices_;
    Form form_;
    std::string commandLine_;
    ModelTable models_;
    std::int32_t pendingKeepAlive_ = 0;
    AdapterTable adapters_;
    FileVersion fileVersion_;
    Work work_ = Work::none;
    std::array<bool, suspendedCount> suspendedEnabled_{};
    std::array<OffReason, numberedControlCount> offReasons_{};
    SearchOutcome lastSearch_;
    WriteAttempt lastWrite_;
    std::uint32_t writeAttempts_ = 0;
    PingOutcome lastPing_;
};

// The start routine: builds the dialog, hands it the command line and, when
// its initialisation leaves it open, lets the front end run it
// (`runDialog` returns when the dialog has ended). Nothing is saved.
void runApplication(FrontEnd& frontEnd, DialogServices& services, DeviceTable& devices,
                    std::string_view commandLine,
                    const std::function<void(SetupDialog&)>& runDialog);

// The command-line text from a program's arguments: everything after the
// program's name, the arguments joined by single blanks.
std::string commandLineText(int argc, const char* const* argv);

}  // namespace tamro
