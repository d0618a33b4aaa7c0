#include "exit_status.h"
#include "network_commands.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "adapter_choice.h"
#include "adapter_searches.h"
#include "address_refusal.h"
#include "address_sharing_text.h"
#include "argument_text.h"
#include "device_json.h"
#include "device_table_text.h"
#include "search_progress.h"
#include "platform/terminal.h"
#include "hostnet/adapters.h"
#include "platform/icmp_echo.h"
#include "hostnet/echo_probe.h"
#include "platform/ipv4.h"
#include "platform/writer_lock.h"
#include "protocol/address_rules.h"
#include "protocol/address_conflicts.h"
#include "protocol/device_configuration.h"
#include "protocol/device_search.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"
#include "show_write_commands.h"

namespace tamro::cli {

namespace {

constexpr int usageErrorStatus = 2;

struct NetworkOptions {
    std::string adapter;
    bool json = false;
    bool table = false;
    bool csv = false;
    std::string mac;
    std::string address;
    std::string device;  // ping through the dialog, for this device
    std::string models;
    bool force = false;     // assign: to an address another listed device answers from
    bool noSearch = false;  // assign: for a device that cannot answer a search
};

// Reads the host's adapters and picks one; nullptr (with the reason on
// stderr) when none fits.
const AdapterRecord* pickAdapter(AdapterTable& table, const std::string& choice) {
    enumerateAdapters(table);
    std::string error;
    const std::int32_t position = chooseAdapter(table, choice, error);
    if (position < 0) {
        std::cerr << "tamroctl: " << error << '\n';
        return nullptr;
    }
    return &table.adapters[static_cast<std::size_t>(position)];
}

void printDevices(const DeviceTable& table, std::int32_t count, const AdapterRecord& adapter,
                  std::ostream& out) {
    if (count == 0) {
        out << "No devices found on " << adapterEntryText(adapter) << ".\n";
        hintDoctor(adapter, std::cerr);
        return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        out << deviceListEntry(record) << "  type " << record.typeCode[0] << record.typeCode[1];
        if (const auto others = devicesSharingAddress(table, count, i); !others.empty()) {
            out << "  (shares its address with " << macListText(others)
                << ": not read, address assignment only)\n";
            continue;
        }
        if (record.configured != 1) {
            out << "  (outside the adapter's subnet: address assignment only)\n";
            continue;
        }
        const DeviceWords words = deviceWords(record);
        out << "\n    address " << words.address << "\n    " << words.protocol << " port "
            << words.port << ", serial " << words.serial << ", flow " << words.flow
            << ", connect " << words.connect << ", remote " << words.remote << ", keep-alive "
            << words.keepAlive << ", pack " << words.pack << '\n';
    }
}

void printDeviceRows(const DeviceTable& table, std::int32_t count, bool csv, std::ostream& out) {
    std::vector<std::vector<std::string>> rows = {deviceTableHeader()};
    for (std::int32_t i = 0; i < count; ++i) {
        rows.push_back(deviceTableRow(table.devices[static_cast<std::size_t>(i)],
                                      devicesSharingAddress(table, count, i)));
    }
    if (csv) {
        printCsv(rows, out);
    } else {
        printAlignedTable(rows, out);
    }
}

int runAdapters(const NetworkOptions& options) {
    auto table = std::make_unique<AdapterTable>();
    enumerateAdapters(*table);
    if (options.json) {
        nlohmann::ordered_json adapters = nlohmann::ordered_json::array();
        for (std::int32_t i = 0; i < table->adapterCount; ++i) {
            adapters.push_back(adapterJson(table->adapters[static_cast<std::size_t>(i)]));
        }
        nlohmann::ordered_json result;
        result["adapters"] = std::move(adapters);
        std::cout << result.dump(2) << '\n';
    } else {
        for (std::int32_t i = 0; i < table->adapterCount; ++i) {
            const AdapterRecord& record = table->adapters[static_cast<std::size_t>(i)];
            std::cout << i << "  " << adapterEntryText(record) << "  mask "
                      << toDottedText(record.mask) << '\n';
        }
        if (table->adapterCount == 0) std::cout << "No usable adapters.\n";
    }
    return 0;
}

// With --json a failure is still one JSON object on stdout, so that a
// script reading it always gets one.
void printJsonError(std::string_view error, const AdapterRecord* adapter,
                    const std::string& detail = {}) {
    nlohmann::ordered_json result;
    result["error"] = error;
    if (!detail.empty()) result["detail"] = detail;
    if (adapter != nullptr) result["adapter"] = adapterJson(*adapter);
    std::cout << result.dump(2) << '\n';
}

// One line per address that more than one device answers from, with the
// command that separates them.
void reportSharedAddresses(const DeviceTable& table, std::int32_t count, std::ostream& out) {
    std::vector<Ipv4> reported;
    for (std::int32_t i = 0; i < count; ++i) {
        const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
        auto others = devicesSharingAddress(table, count, i);
        if (others.empty() || std::find(reported.begin(), reported.end(), record.peer.address) !=
                                  reported.end()) {
            continue;
        }
        reported.push_back(record.peer.address);
        others.insert(others.begin(), record.mac);
        out << "tamroctl: " << others.size() << " devices answer from "
            << toDottedText(record.peer.address) << " (" << macListText(others)
            << "): none of them was read, as a read or write by that address reaches whichever "
               "answers. Give each its own address: "
            << assignAdvice(others.back()) << '\n';
    }
}

// `search --adapter all`: every adapter searched side by side, each
// device listed with the adapter it answered on (once per adapter when it
// answered on more). 1 only when no search could run.
int runSearchAll(const NetworkOptions& options) {
    auto adapters = std::make_unique<AdapterTable>();
    enumerateAdapters(*adapters);
    if (adapters->adapterCount <= 0) {
        const std::string error = "no usable network adapter";
        std::cerr << "tamroctl: " << error << '\n';
        if (options.json) printJsonError(error, nullptr);
        return 1;
    }
    std::cerr << "searching on every adapter (" << adapters->adapterCount << ") ...\n";
    const std::vector<AdapterSearch> searches = searchEveryAdapter(*adapters);
    nlohmann::ordered_json searched = nlohmann::ordered_json::array();
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    nlohmann::ordered_json dropped = nlohmann::ordered_json::array();
    nlohmann::ordered_json errors = nlohmann::ordered_json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header = deviceTableHeader();
    header.insert(header.begin(), "ADAPTER");
    rows.push_back(std::move(header));
    std::int32_t failed = 0;
    for (const AdapterSearch& search : searches) {
        const AdapterRecord& adapter = search.adapter;
        const std::string adapterText = adapterEntryText(adapter);
        searched.push_back(adapterJson(adapter));
        if (search.count < 0) {
            ++failed;
            std::cerr << "tamroctl: " << adapterText << ": " << communicationErrorMessage << '\n';
            errors.push_back(
                {{"adapter", adapterJson(adapter)}, {"error", communicationErrorMessage}});
            continue;
        }
        const DeviceTable& table = *search.table;
        reportDropped(search.dropped, search.count, std::cerr);
        reportSharedAddresses(table, search.count, std::cerr);
        for (nlohmann::ordered_json each : droppedJson(search.dropped)) {
            each["adapter"] = adapterJson(adapter);
            dropped.push_back(std::move(each));
        }
        for (std::int32_t i = 0; i < search.count; ++i) {
            const DeviceRecord& record = table.devices[static_cast<std::size_t>(i)];
            const auto sharing = devicesSharingAddress(table, search.count, i);
            nlohmann::ordered_json device = deviceJson(record, sharing);
            device["adapter"] = adapterJson(adapter);
            devices.push_back(std::move(device));
            std::vector<std::string> row = deviceTableRow(record, sharing);
            row.insert(row.begin(), adapterText);
            rows.push_back(std::move(row));
        }
        if (!options.json && !options.table && !options.csv) {
            std::cout << "On " << adapterText << ":\n";
            printDevices(table, search.count, adapter, std::cout);
        } else if (search.count == 0) {
            hintDoctor(adapter, std::cerr);
        }
    }
    if (failed > 0) {
        const std::string holders = portHolderText();
        if (!holders.empty()) std::cerr << holders << '\n';
    }
    if (options.json) {
        nlohmann::ordered_json result;
        result["adapters"] = std::move(searched);
        result["devices"] = std::move(devices);
        result["dropped"] = std::move(dropped);
        result["errors"] = std::move(errors);
        std::cout << result.dump(2) << '\n';
    } else if (options.csv) {
        printCsv(rows, std::cout);
    } else if (options.table) {
        printAlignedTable(rows, std::cout);
    }
    return failed == adapters->adapterCount ? 1 : 0;
}

int runSearch(const NetworkOptions& options) {
    if (options.adapter == allAdapters) return runSearchAll(options);
    auto adapters = std::make_unique<AdapterTable>();
    enumerateAdapters(*adapters);
    std::string error;
    const std::int32_t position = chooseAdapter(*adapters, options.adapter, error);
    if (position < 0) {
        std::cerr << "tamroctl: " << error << '\n';
        if (options.json) printJsonError(error, nullptr);
        return 1;
    }
    const AdapterRecord* adapter = &adapters->adapters[static_cast<std::size_t>(position)];
    std::cerr << "searching on " << adapterEntryText(*adapter) << " ...\n";

    DeviceTable& table = processDeviceTable();
    std::vector<DroppedDevice> dropped;
    SearchObserver observer;
    observer.dropped = &dropped;
    SearchProgressLine progress(std::cerr, standardErrorIsTerminal());
    progress.attach(observer);
    const std::int32_t count = searchDevices(
        table, SearchAdapter{adapter->address, adapter->mask, adapterInterfaceName(*adapter)},
        observer);
    if (count < 0) {
        std::cerr << communicationErrorMessage << '\n';
        const std::string holders = portHolderText();
        if (!holders.empty()) std::cerr << holders << '\n';
        if (options.json) printJsonError(communicationErrorMessage, adapter, holders);
        return 1;
    }
    reportDropped(dropped, count, std::cerr);
    reportSharedAddresses(table, count, std::cerr);
    if (options.json) {
        nlohmann::ordered_json devices = nlohmann::ordered_json::array();
        for (std::int32_t i = 0; i < count; ++i) {
            devices.push_back(deviceJson(table.devices[static_cast<std::size_t>(i)],
                                         devicesSharingAddress(table, count, i)));
        }
        nlohmann::ordered_json result;
        result["adapter"] = adapterJson(*adapter);
        result["devices"] = std::move(devices);
        result["dropped"] = droppedJson(dropped);
        std::cout << result.dump(2) << '\n';
        if (count == 0) hintDoctor(*adapter, std::cerr);
    } else if (options.table || options.csv) {
        printDeviceRows(table, count, options.csv, std::cout);
        if (count == 0) hintDoctor(*adapter, std::cerr);
    } else {
        printDevices(table, count, *adapter, std::cout);
    }
    return 0;
}

// Searches before an assignment, which restarts every device whose MAC ends
// in the same two bytes: 0 when it may go out, else the exit status, with
// the reasons on stderr.
int checkAssignment(const std::array<std::uint8_t, 6>& mac, const Ipv4& address,
                    const AdapterRecord& adapter, bool force) {
    std::cerr << "searching on " << adapterEntryText(adapter) << " ...\n";
    DeviceTable& table = processDeviceTable();
    SearchObserver observer;
    SearchProgressLine progress(std::cerr, standardErrorIsTerminal());
    progress.attach(observer);
    const std::int32_t count = searchDevices(
        table, SearchAdapter{adapter.address, adapter.mask, adapterInterfaceName(adapter)},
        observer);
    if (count < 0) {
        std::cout << communicationErrorMessage << '\n';
        return 1;
    }
    bool listed = false;
    for (std::int32_t i = 0; i < count; ++i) {
        listed = listed || table.devices[static_cast<std::size_t>(i)].mac == mac;
    }
    if (!listed) {
        std::cerr << "tamroctl: no device " << macText(mac) << " was found on "
                  << adapterEntryText(adapter) << " (" << count
                  << " listed); nothing was sent (--no-search assigns without searching)\n";
        return 1;
    }
    const std::vector<std::string> problems =
        addressClashProblems(table, count, address, mac, true, force);
    if (problems.empty()) return 0;
    std::cerr << "tamroctl: nothing was sent:\n";
    for (const std::string& each : problems) std::cerr << "  " << each << '\n';
    return usageErrorStatus;
}

int runAssign(const NetworkOptions& options) {
    const auto mac = parseMacText(options.mac);
    const std::string addressProblem = dottedProblem(options.address);
    if (!mac) {
        std::cerr << "tamroctl: MAC " << options.mac
                  << ": give a MAC address such as 02-00-00-01-02-03\n";
    }
    if (!addressProblem.empty()) std::cerr << "tamroctl: ADDRESS " << addressProblem << '\n';
    const auto address = parseDottedText(options.address);
    if (!mac || !address) return usageErrorStatus;
    auto adapters = std::make_unique<AdapterTable>();
    const AdapterRecord* adapter = pickAdapter(*adapters, options.adapter);
    if (adapter == nullptr) return 1;
    // The device lands on the adapter's subnet: the packet carries no mask.
    if (const AddressFault fault = addressFault(*address, adapter->mask, adapter->address);
        fault != AddressFault::none) {
        std::cerr << "tamroctl: ADDRESS " << addressFaultSentence(*address, fault)
                  << "; nothing was sent\n";
        return usageErrorStatus;
    }
    if (!options.noSearch) {
        if (const int status = checkAssignment(*mac, *address, *adapter, options.force);
            status != 0) {
            return status;
        }
    }
    WriterLock lock;
    LockHolder holder;
    if (!lock.acquire(toDottedText(adapter->address), writerLockPatience, holder)) {
        std::cerr << "tamroctl: " << writerRefusalText(toDottedText(adapter->address), holder)
                  << '\n';
        return 1;
    }
    if (assignDeviceAddress(*mac, *address, adapter->address) != 1) {
        std::cout << communicationErrorMessage << '\n';
        return 1;
    }
    std::cout << writeCompleteMessage << '\n';
    return 0;
}

int runPing(const NetworkOptions& options) {
    if (!options.device.empty()) {
        return runDevicePing(options.address,
                             DeviceChoice{options.device, options.adapter, options.models, {}});
    }
    const auto address = parseDottedText(options.address);
    if (!address) {
        std::cerr << "tamroctl: ADDRESS " << dottedProblem(options.address) << '\n';
        return usageErrorStatus;
    }
    std::optional<Ipv4> source;
    if (!options.adapter.empty()) {
        auto adapters = std::make_unique<AdapterTable>();
        const AdapterRecord* adapter = pickAdapter(*adapters, options.adapter);
        if (adapter == nullptr) return 1;
        source = adapter->address;
    }
    const bool answered = sendIcmpEcho(*address, echoProbePayload, echoProbeTimeout, source) == 1;
    std::cout << toDottedText(*address) << (answered ? " answered\n" : " did not answer\n");
    return answered ? 0 : 1;
}

}  // namespace

void addNetworkCommands(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<NetworkOptions>();
    const auto adapterHelp = "Adapter: its address, interface name or list position (default 0)";

    CLI::App* adapters = app.add_subcommand("adapters", "List the usable host adapters.");
    adapters->add_flag("--json", options->json, "Print one JSON object");
    adapters->callback([options, &exitCode] { exitCode = runAdapters(*options); });

    CLI::App* search = app.add_subcommand(
        "search", "Search the adapter's segment and read every device on its subnet.");
    search->add_option("--adapter", options->adapter,
                       "Adapter: its address, interface name or list position (default 0), or "
                       "all: every adapter at once");
    CLI::Option* searchJson = search->add_flag("--json", options->json, "Print one JSON object");
    CLI::Option* table = search->add_flag(
        "--table", options->table, "One row per device, its settings in words, columns aligned");
    search->add_flag("--csv", options->csv, "The --table rows as comma-separated values")
        ->excludes(table)
        ->excludes(searchJson);
    table->excludes(searchJson);
    search->callback([options, &exitCode] { exitCode = runSearch(*options); });

    CLI::App* assign = app.add_subcommand(
        "assign",
        "Give a device a new address by broadcast (devices outside the subnet). The packet "
        "carries only the MAC's last two bytes: every device ending in them takes the address, "
        "so the search first refuses when another listed device does.");
    assign->add_option("MAC", options->mac, "The device's MAC address")->required();
    assign->add_option("ADDRESS", options->address, "The new IPv4 address")->required();
    assign->add_option("--adapter", options->adapter, adapterHelp);
    assign->add_flag("--force", options->force,
                     "Assign even an address another listed device answers from");
    assign->add_flag("--no-search", options->noSearch,
                     "Send without searching first (a device that cannot answer a search); "
                     "nothing then checks the listed devices");
    assign->callback([options, &exitCode] { exitCode = runAssign(*options); });

    CLI::App* ping = app.add_subcommand("ping", "Send one ICMP echo and tell whether it was answered.");
    ping->footer(
        "With --device the exit status is 1 when the address is taken: another host answered, "
        "or another device listed by the search answers from it (even when its echo replies "
        "are dropped). A script can run assign only after it exits 0.");
    ping->add_option("ADDRESS", options->address, "The address to probe")->required();
    ping->add_option("--adapter", options->adapter,
                     "Send from this adapter's address; with --device, search on it");
    CLI::Option* device =
        ping->add_option("--device", options->device,
                         "Probe as the setup dialog does for this device "
                         "(MAC, listed IP, MAC / IP or #N)");
    ping->add_option("--models", options->models,
                     "With --device: the window's command-line text (a model file path)")
        ->needs(device);
    ping->callback([options, &exitCode] { exitCode = runPing(*options); });
}

}  // namespace tamro::cli
