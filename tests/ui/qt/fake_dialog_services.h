#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"
#include "ui/dialog_services.h"

// The host as a test scripts it: adapters and the program's path. The
// window runs on it without a packet sent.
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

    // These tests never search or write; the lab test does, for real.
    std::int32_t searchDevices(tamro::DeviceTable& table, const tamro::SearchAdapter&) override {
        table.deviceCount = 0;
        return 0;
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

    std::int32_t sendEchoProbe(const tamro::Ipv4&) override { return 0; }
};

inline tamro::Ipv4 address(std::string_view dotted) { return *tamro::parseDottedText(dotted); }
