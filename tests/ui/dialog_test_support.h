#pragma once

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scripted_front_end.h"
#include "ui/dialog_services.h"
#include "ui/setup_dialog.h"

namespace tamro::testing {

struct SearchCall {
    Ipv4 address;
    Ipv4 mask;
    std::string interfaceName;
};

struct WriteCall {
    Ipv4 device;
    WriteControlValues controls;
    std::int32_t pendingKeepAlive = 0;
    std::optional<std::int32_t> modelVariant;
};

struct AssignCall {
    std::array<std::uint8_t, 6> mac{};
    Ipv4 newAddress;
    Ipv4 adapterAddress;
};

// The host and the network as a script. Unless `search` is set, a search
// stores `found` from row 0 on and reports them all, as a discovery that
// read every device would.
class FakeDialogServices final : public DialogServices {
public:
    std::optional<std::string> executablePath() override { return programPath; }
    void enumerateAdapters(AdapterTable& table) override;
    std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter) override;
    WriteOutcome writeConfiguration(const Ipv4& device, const WriteControlValues& controls,
                                    std::int32_t pendingKeepAlive,
                                    std::optional<std::int32_t> modelVariant) override;
    std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress,
                                     const Ipv4& adapterAddress) override;
    std::int32_t sendEchoProbe(const Ipv4& target) override;
    bool claimWriter(const Ipv4& adapterAddress, std::string& refusal) override;
    void releaseWriter() override;

    // The worker's next search, probe, write or assignment waits inside the
    // call until releaseWorker(); waitForHeldWorker() returns once it is
    // waiting.
    void holdWorker();
    void waitForHeldWorker();
    void releaseWorker();

    std::optional<std::string> programPath;
    std::vector<AdapterRecord> adapterRecords;
    int enumerations = 0;

    std::vector<DeviceRecord> found;
    std::function<std::int32_t(DeviceTable&)> search;
    std::vector<SearchCall> searches;

    WriteOutcome writeOutcome{1, {}};
    std::vector<WriteCall> writes;
    std::int32_t assignResult = 1;
    std::vector<AssignCall> assigns;
    std::int32_t echoAnswer = 0;
    std::vector<Ipv4> echoTargets;
    // Another program's writer lock: set, a claim is refused with this text.
    std::optional<std::string> writerRefusal;
    std::vector<Ipv4> writerClaims;  // the adapter of each claim, held or not
    int writersHeld = 0;             // claims granted and not yet released

private:
    void waitIfHeld();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool hold_ = false;
    bool held_ = false;
};

AdapterRecord makeAdapter(std::string_view name, Ipv4 address, Ipv4 mask,
                          std::string_view interfaceName = "veth0");

// A device on the adapter's subnet as its configuration read left it: TCP on
// 10001, 9600 8N1 without flow control, no connect condition, no destination,
// the first function of each pin, keep-alive 0, pack control off.
DeviceRecord readDevice(std::uint8_t macLast, Ipv4 address);
// A device found outside the adapter's subnet; its settings mean nothing.
DeviceRecord offSubnetDevice(std::uint8_t macLast, Ipv4 address);

// Records what the form dispatches and passes it on to the dialog.
class DispatchRecorder final : public FormEvents {
public:
    explicit DispatchRecorder(SetupDialog& dialog) : dialog_(dialog) {}
    void handle(Handler handler, ControlId source) override {
        handlers.push_back(handler);
        dialog_.handle(handler, source);
    }
    std::vector<Handler> handlers;

private:
    SetupDialog& dialog_;
};

// Every numbered control's whole state, for "nothing changed".
struct FormState {
    struct Control {
        bool enabled;
        bool visible;
        std::string text;
        std::vector<std::string> items;
        std::int32_t selection;
        bool checked;
        AddressFields address;

        friend bool operator==(const Control&, const Control&) = default;
    };
    std::vector<Control> controls;

    friend bool operator==(const FormState&, const FormState&) = default;
};
FormState captureForm(const Form& form);
// The names of the controls whose state differs.
std::vector<std::string> changedControls(const FormState& before, const FormState& after);

// The settings controls that are enabled.
std::vector<std::string> enabledSettings(const Form& form);

// Models by list position, one per kind of rule.
inline constexpr std::int32_t freeModel = 0;     // client mode 1, no constraint
inline constexpr std::int32_t fixedModel = 1;    // port 10000, serial and pins fixed, client mode 0
inline constexpr std::int32_t serialModel = 2;   // client mode 2
inline constexpr std::int32_t oddModel = 3;      // client mode 3
inline constexpr std::int32_t limitedModel = 4;  // at most 115200 bit/s

inline constexpr Ipv4 adapterAddress = Ipv4::fromOctets(10, 77, 0, 1);
inline constexpr Ipv4 adapterMask = Ipv4::fromOctets(255, 255, 255, 0);
inline constexpr Ipv4 secondAdapterAddress = Ipv4::fromOctets(192, 168, 0, 10);

// A dialog on a fake host with two adapters and a scratch directory for
// model files; tests start it with or without models.
class DialogTest : public ::testing::Test {
protected:
    DialogTest();
    ~DialogTest() override;

    // The five models above, named on the command line.
    bool startWithModels();
    // No model file beside the program, and no message about it.
    bool startWithoutModels();
    bool start(std::string_view commandLine);

    std::filesystem::path writeModelFile(std::string_view name, std::string_view contents);

    // The user's actions.
    void search(std::vector<DeviceRecord> devices);
    void selectDevice(std::int32_t position);
    void chooseModel(std::int32_t position);
    void clickWrite(std::optional<MessageAnswer> confirmation = MessageAnswer::ok);

    Form& form() { return dialog->form(); }

    std::filesystem::path directory;
    std::unique_ptr<ScriptedFrontEnd> frontEnd;
    FakeDialogServices services;
    std::unique_ptr<DeviceTable> table = std::make_unique<DeviceTable>();
    std::unique_ptr<SetupDialog> dialog;
};

}  // namespace tamro::testing
