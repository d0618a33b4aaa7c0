#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"
#include "ui/dialog_services.h"

// The host as a test scripts it: adapters, the program's path, what a search
// finds and how long it takes, the echo's answer. The window runs on it
// without a packet sent. The settings are set before an action and read
// after it has ended; the search and the probe may run on a worker thread.
class FakeDialogServices final : public tamro::DialogServices {
public:
    struct Adapter {
        tamro::Ipv4 address;
        tamro::Ipv4 mask;
        std::string name;
    };

    std::vector<Adapter> adapters;
    std::optional<std::string> programPath;  // names the default model file

    std::optional<std::string> executablePath() override { return programPath; }

    void enumerateAdapters(tamro::AdapterTable& table) override {
        table.adapterCount = 0;
        for (const Adapter& adapter : adapters) {
            tamro::AdapterRecord& record =
                table.adapters[static_cast<std::size_t>(table.adapterCount++)];
            record.address = adapter.address;
            record.mask = adapter.mask;
            const std::size_t length = std::min(adapter.name.size(), record.name.size() - 1);
            std::memcpy(record.name.data(), adapter.name.data(), length);
            record.name[length] = '\0';
        }
    }

    enum class SearchFailure { none, beforeStoring, afterStoring };

    std::vector<tamro::DeviceRecord> found;
    SearchFailure searchFailure = SearchFailure::none;
    std::chrono::milliseconds searchTime{0};
    std::atomic<int> searches{0};
    std::thread::id searchThread;

    std::int32_t echoAnswer = 0;
    std::chrono::milliseconds echoTime{0};
    std::atomic<int> probes{0};
    std::thread::id probeThread;

    // Discovery's reset, the replies, then the reads: all kept.
    std::int32_t searchDevices(tamro::DeviceTable& table, const tamro::SearchAdapter&) override {
        searchThread = std::this_thread::get_id();
        std::this_thread::sleep_for(searchTime);
        table.deviceCount = 0;
        if (searchFailure == SearchFailure::beforeStoring) {
            ++searches;
            return -1;
        }
        for (const tamro::DeviceRecord& device : found) {
            table.devices[static_cast<std::size_t>(table.deviceCount++)] = device;
        }
        ++searches;
        return searchFailure == SearchFailure::afterStoring ? -1 : table.deviceCount;
    }

    tamro::WriteOutcome writeConfiguration(const tamro::Ipv4&, const tamro::WriteControlValues&,
                                           std::int32_t,
                                           std::optional<std::int32_t>) override {
        return {1, {}};
    }

    std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>&, const tamro::Ipv4&,
                                     const tamro::Ipv4&) override {
        return 1;
    }

    std::int32_t sendEchoProbe(const tamro::Ipv4&) override {
        probeThread = std::this_thread::get_id();
        std::this_thread::sleep_for(echoTime);
        ++probes;
        return echoAnswer;
    }
};

inline tamro::Ipv4 address(std::string_view dotted) { return *tamro::parseDottedText(dotted); }

// A found device; one on the subnet (10.77.0.x) comes read: TCP on 4000 + the
// last MAC byte, 9600 8N1, keep-alive 30, pack control 52 ms.
inline tamro::DeviceRecord foundDevice(std::uint8_t macLast, std::string_view dotted) {
    tamro::DeviceRecord device;
    const tamro::Ipv4 at = address(dotted);
    device.peer.address = at;
    device.peer.port = 30718;
    device.mac = {0x02, 0x00, 0x00, 0x00, 0x00, macLast};
    std::copy_n(dotted.begin(), std::min(dotted.size(), device.ipText.size() - 1),
                device.ipText.begin());
    device.typeCode = {'X', '1'};
    device.configured = dotted.starts_with("10.77.0.") ? 1 : 0;
    if (device.configured == 0) return device;
    device.ipAddress = at;
    device.netmask = address("255.255.255.0");
    device.localPort = 4000 + macLast;
    device.baudRate = 9600;
    device.dataBits = 8;
    device.stopBits = 1;
    device.keepAlive = 30;
    device.packControl = 2;
    return device;
}
