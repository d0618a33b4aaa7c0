#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

// "02-00-00-00-00-11, 02-00-00-00-00-12": the other devices at an address.
std::string macListText(const std::vector<std::array<std::uint8_t, 6>>& macs);

// The command that gives a device an address of its own, by MAC.
std::string assignAdvice(const std::array<std::uint8_t, 6>& mac);

// Why a device that shares its address was not read, with the fix:
// "10.77.0.11 is also the address of 02-...; its settings were not read
// (a read or write by address reaches either device). Give it its own
// address: tamroctl assign MAC FREE_ADDRESS". Empty when `others` is empty.
std::string sharedAddressText(const DeviceRecord& device,
                              const std::vector<std::array<std::uint8_t, 6>>& others);

// The same for the dialog's selected device, for a control it has switched off.
std::string sharedAddressReason(const SetupDialog& dialog);

}  // namespace tamro::cli
