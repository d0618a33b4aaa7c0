#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "hostnet/adapters.h"
#include "platform/writer_lock.h"
#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "protocol/device_configuration.h"
#include "protocol/device_search.h"
#include "protocol/device_table.h"

namespace tamro {

// Everything the dialog asks of the host and the network. The dialog holds
// no socket of its own, so a test can script every answer and the whole
// dialog runs without a network.
//
// searchDevices, sendEchoProbe, writeConfiguration and assignDeviceAddress
// are called on a worker's thread (one at a time), everything else on the
// dialog's thread.
class DialogServices {
public:
    virtual ~DialogServices() = default;

    // The running program's path, which names the default model file.
    virtual std::optional<std::string> executablePath() = 0;

    virtual void enumerateAdapters(AdapterTable& table) = 0;

    // Discovery, classification, reads and drops: afterwards records
    // 0..result-1 are the devices to list. -1 when discovery failed.
    virtual std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter) = 0;

    virtual WriteOutcome writeConfiguration(const Ipv4& device, const WriteControlValues& controls,
                                            std::int32_t pendingKeepAlive,
                                            std::optional<std::int32_t> modelVariant) = 0;

    // 1 when the assignment packet left through the adapter, else 0.
    virtual std::int32_t assignDeviceAddress(const std::array<std::uint8_t, 6>& mac,
                                             const Ipv4& newAddress,
                                             const Ipv4& adapterAddress) = 0;

    // 1 when one echo to `target` was answered within a second, else 0.
    virtual std::int32_t sendEchoProbe(const Ipv4& target) = 0;

    // One writer per adapter on the host: a write holds the adapter's lock
    // from a true claimWriter until releaseWriter, both on the write's
    // thread. False, with the reason in `refusal`, when another program
    // kept it. Without a host to share (a test) every claim holds.
    virtual bool claimWriter(const Ipv4& /*adapterAddress*/, std::string& /*refusal*/) {
        return true;
    }
    virtual void releaseWriter() {}
};

// The real host and network. The default model file follows `programPath`:
// the running program, or (for the command line) the window program beside it.
class SystemDialogServices final : public DialogServices {
public:
    SystemDialogServices();
    explicit SystemDialogServices(std::optional<std::string> programPath);

    std::optional<std::string> executablePath() override;
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

    // Watches every search these services run (the command line's progress
    // line); called on the thread the search runs on.
    SearchObserver searchObserver;

private:
    std::optional<std::string> programPath_;
    WriterLock writerLock_;
};

}  // namespace tamro
