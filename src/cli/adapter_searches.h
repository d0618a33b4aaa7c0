#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_text.h"
#include "hostnet/adapters.h"
#include "protocol/device_search.h"
#include "protocol/device_table.h"
#include "ui/dialog_services.h"

namespace tamro::cli {

// The adapter choices that name no one adapter: every usable one at once,
// or the one the named devices answer on.
inline constexpr std::string_view allAdapters = "all";
inline constexpr std::string_view autoAdapter = "auto";

// One adapter's search, in a table of its own.
struct AdapterSearch {
    std::int32_t position = -1;  // in the adapter table
    AdapterRecord adapter;
    std::unique_ptr<DeviceTable> table = std::make_unique<DeviceTable>();
    std::int32_t count = -1;  // -1: discovery failed
    std::vector<DroppedDevice> dropped;
};

// Searches every adapter of `adapters` side by side, each on its own thread
// and into its own table, so that all of them take as long as one.
std::vector<AdapterSearch> searchEveryAdapter(const AdapterTable& adapters);

// The listed records (0..count-1) that `wanted` names by MAC and/or
// address; a list position names nothing here.
std::vector<std::int32_t> recordsNamed(const DeviceTable& table, std::int32_t count,
                                       const DeviceText& wanted);

// The search whose adapter every named device answered on. Nothing, with
// `error` set, when one is heard nowhere, on two adapters, or the devices
// are spread over several (or a name is a list position, which differs
// from adapter to adapter).
std::optional<std::size_t> adapterOfDevices(const std::vector<AdapterSearch>& searches,
                                             const std::vector<std::string>& devices,
                                             std::string& error);

// The host's services, but a search hands back one that already ran, so
// that the dialog lists what the side-by-side searches found without
// searching again.
class ReplayedSearchServices final : public DialogServices {
public:
    ReplayedSearchServices(DialogServices& host, const AdapterSearch& search)
        : host_(host), search_(search) {}

    std::optional<std::string> executablePath() override { return host_.executablePath(); }
    void enumerateAdapters(AdapterTable& table) override { host_.enumerateAdapters(table); }
    std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter) override;
    WriteOutcome writeConfiguration(const Ipv4& device, const WriteControlValues& controls,
                                    std::int32_t pendingKeepAlive,
                                    std::optional<std::int32_t> modelVariant) override {
        return host_.writeConfiguration(device, controls, pendingKeepAlive, modelVariant);
    }
    std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>& mac, const Ipv4& newAddress,
                                     const Ipv4& adapterAddress) override {
        return host_.assignDeviceAddress(mac, newAddress, adapterAddress);
    }
    std::int32_t sendEchoProbe(const Ipv4& target) override { return host_.sendEchoProbe(target); }
    bool claimWriter(const Ipv4& adapterAddress, std::string& refusal) override {
        return host_.claimWriter(adapterAddress, refusal);
    }
    void releaseWriter() override { host_.releaseWriter(); }

private:
    DialogServices& host_;
    const AdapterSearch& search_;
    bool replayed_ = false;
};

}  // namespace tamro::cli
