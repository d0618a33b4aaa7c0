#include "ui/dialog_services.h"

#include <utility>

#include "hostnet/echo_probe.h"
#include "platform/executable_path.h"

namespace tamro {

SystemDialogServices::SystemDialogServices() : programPath_(tamro::executablePath()) {}

SystemDialogServices::SystemDialogServices(std::optional<std::string> programPath)
    : programPath_(std::move(programPath)) {}

std::optional<std::string> SystemDialogServices::executablePath() { return programPath_; }

void SystemDialogServices::enumerateAdapters(AdapterTable& table) {
    tamro::enumerateAdapters(table);
}

std::int32_t SystemDialogServices::searchDevices(DeviceTable& table, const SearchAdapter& adapter) {
    return tamro::searchDevices(table, adapter, searchObserver);
}

WriteOutcome SystemDialogServices::writeConfiguration(const Ipv4& device,
                                                      const WriteControlValues& controls,
                                                      std::int32_t pendingKeepAlive,
                                                      std::optional<std::int32_t> modelVariant) {
    return tamro::writeConfiguration(device, controls, pendingKeepAlive, modelVariant);
}

std::int32_t SystemDialogServices::assignDeviceAddress(const std::array<std::uint8_t, 6>& mac,
                                                       const Ipv4& newAddress,
                                                       const Ipv4& adapterAddress) {
    return tamro::assignDeviceAddress(mac, newAddress, adapterAddress);
}

std::int32_t SystemDialogServices::sendEchoProbe(const Ipv4& target) {
    return tamro::sendEchoProbe(target);
}

bool SystemDialogServices::claimWriter(const Ipv4& adapterAddress, std::string& refusal) {
    LockHolder holder;
    const std::string adapter = toDottedText(adapterAddress);
    if (writerLock_.acquire(adapter, writerLockPatience, holder)) return true;
    refusal = writerRefusalText(adapter, holder);
    return false;
}

void SystemDialogServices::releaseWriter() { writerLock_.release(); }

}  // namespace tamro
