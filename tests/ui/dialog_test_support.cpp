#include "dialog_test_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "ui/dialog_template.h"

namespace tamro::testing {

namespace {

constexpr std::string_view testModels =
    "Tamro,100\n"
    "# name, port, serial, maxBaud, baud, data, parity, stop, flow, pins, cp1, cp2, cp3, "
    "client, variant\n"
    "Free,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n"
    "Fixed,10000,0,9,12,0,2,1,3,0,2,13,-1,0,2\n"
    "Serial,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,2,1\n"
    "Odd,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,3,-1\n"
    "Limited,-1,1,9,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n";

template <std::size_t size>
void copyText(std::array<char, size>& to, std::string_view text) {
    to.fill('\0');
    std::copy_n(text.begin(), std::min(text.size(), size - 1), to.begin());
}

DeviceRecord foundDevice(std::uint8_t macLast, Ipv4 address) {
    DeviceRecord device;
    device.peer = {2, 30718, address};
    device.mac = {0x02, 0x00, 0x00, 0x01, 0x02, macLast};
    copyText(device.ipText, toDottedText(address));
    device.typeCode = {'X', '1'};
    return device;
}

}  // namespace

// --- FakeDialogServices -------------------------------------------------------

void FakeDialogServices::enumerateAdapters(AdapterTable& table) {
    ++enumerations;
    table.adapterCount = 0;
    for (const AdapterRecord& record : adapterRecords) {
        table.adapters[static_cast<std::size_t>(table.adapterCount++)] = record;
    }
}

std::int32_t FakeDialogServices::searchDevices(DeviceTable& table, const SearchAdapter& adapter) {
    waitIfHeld();
    searches.push_back({adapter.address, adapter.mask, std::string(adapter.interfaceName)});
    if (search) return search(table);
    table.deviceCount = 0;
    for (const DeviceRecord& device : found) {
        table.devices[static_cast<std::size_t>(table.deviceCount++)] = device;
    }
    return table.deviceCount;
}

WriteOutcome FakeDialogServices::writeConfiguration(const Ipv4& device,
                                                    const WriteControlValues& controls,
                                                    std::int32_t pendingKeepAlive,
                                                    std::optional<std::int32_t> modelVariant) {
    waitIfHeld();
    writes.push_back({device, controls, pendingKeepAlive, modelVariant});
    return writeOutcome;
}

std::int32_t FakeDialogServices::assignDeviceAddress(const std::array<std::uint8_t, 6>& mac,
                                                     const Ipv4& newAddress,
                                                     const Ipv4& adapterAddress) {
    waitIfHeld();
    assigns.push_back({mac, newAddress, adapterAddress});
    return assignResult;
}

std::int32_t FakeDialogServices::sendEchoProbe(const Ipv4& target) {
    waitIfHeld();
    echoTargets.push_back(target);
    return echoAnswer;
}

bool FakeDialogServices::claimWriter(const Ipv4& adapterAddress, std::string& refusal) {
    writerClaims.push_back(adapterAddress);
    if (writerRefusal) {
        refusal = *writerRefusal;
        return false;
    }
    ++writersHeld;
    return true;
}

void FakeDialogServices::releaseWriter() { --writersHeld; }

void FakeDialogServices::holdWorker() {
    const std::lock_guard lock(mutex_);
    hold_ = true;
}

void FakeDialogServices::waitForHeldWorker() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return held_; });
}

void FakeDialogServices::releaseWorker() {
    const std::lock_guard lock(mutex_);
    hold_ = false;
    changed_.notify_all();
}

void FakeDialogServices::waitIfHeld() {
    std::unique_lock lock(mutex_);
    if (!hold_) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !hold_; });
    held_ = false;
}

// --- records ----------------------------------------------------------------------

AdapterRecord makeAdapter(std::string_view name, Ipv4 address, Ipv4 mask,
                          std::string_view interfaceName) {
    AdapterRecord record;
    copyText(record.name, name);
    record.address = address;
    record.mask = mask;
    copyText(record.interfaceName, interfaceName);
    return record;
}

DeviceRecord readDevice(std::uint8_t macLast, Ipv4 address) {
    DeviceRecord device = foundDevice(macLast, address);
    device.configured = 1;
    device.ipAddress = address;
    device.netmask = adapterMask;
    device.gateway = adapterAddress;
    device.localPort = 10001;
    device.baudRate = 9600;
    device.dataBits = 8;
    device.stopBits = 1;
    device.cp1Function = 0;
    device.cp2Function = 2;
    device.cp3Function = 1;
    return device;
}

DeviceRecord offSubnetDevice(std::uint8_t macLast, Ipv4 address) {
    DeviceRecord device = foundDevice(macLast, address);
    // Left over from an earlier search at this row: must never show.
    device.localPort = 4242;
    device.baudRate = 9600;
    return device;
}

FormState captureForm(const Form& form) {
    FormState state;
    for (const ControlId id : numberedControls()) {
        state.controls.push_back({form.enabled(id), form.visible(id), form.text(id), form.items(id),
                                  form.selection(id), form.checked(id), form.address(id)});
    }
    return state;
}

std::vector<std::string> changedControls(const FormState& before, const FormState& after) {
    std::vector<std::string> names;
    const auto ids = numberedControls();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (!(before.controls.at(i) == after.controls.at(i)))
            names.emplace_back(controlName(ids[i]));
    }
    return names;
}

std::vector<std::string> enabledSettings(const Form& form) {
    std::vector<std::string> names;
    for (const ControlId id : settingsControls) {
        if (form.enabled(id)) names.emplace_back(controlName(id));
    }
    return names;
}

// --- DialogTest ---------------------------------------------------------------------

DialogTest::DialogTest() : frontEnd(std::make_unique<ScriptedFrontEnd>()) {
    static std::atomic<int> next{0};
    directory = std::filesystem::temp_directory_path() /
                ("tamro-dialog-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
    std::filesystem::create_directories(directory);
    services.adapterRecords = {
        makeAdapter("Lab adapter", adapterAddress, adapterMask, "veth0"),
        makeAdapter("LAN adapter", secondAdapterAddress, adapterMask, "eth1"),
    };
}

DialogTest::~DialogTest() {
    dialog.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::filesystem::path DialogTest::writeModelFile(std::string_view name, std::string_view contents) {
    const std::filesystem::path path = directory / std::string(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

bool DialogTest::startWithModels() {
    return start(writeModelFile("models.dat", testModels).string());
}

bool DialogTest::startWithoutModels() { return start(""); }

bool DialogTest::start(std::string_view commandLine) {
    dialog = std::make_unique<SetupDialog>(*frontEnd, services, *table);
    dialog->setCommandLine(commandLine);
    return dialog->initDialog();
}

void DialogTest::search(std::vector<DeviceRecord> devices) {
    services.found = std::move(devices);
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    // A search on a worker thread is over once its results are shown.
    frontEnd->finishWorker();
}

void DialogTest::selectDevice(std::int32_t position) {
    ASSERT_EQ(form().userSelect(ControlId::deviceList, position), UserInput::accepted);
}

void DialogTest::chooseModel(std::int32_t position) {
    ASSERT_EQ(form().userSelect(ControlId::modelCombo, position), UserInput::accepted);
}

void DialogTest::clickWrite(std::optional<MessageAnswer> confirmation) {
    if (confirmation) frontEnd->queueAnswer(*confirmation);
    ASSERT_EQ(form().userClick(ControlId::writeButton), UserInput::accepted);
}

}  // namespace tamro::testing
