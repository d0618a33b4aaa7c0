#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/device_table.h"
#include "ui/form.h"

namespace tamro::cli {

// A DEVICE text: a MAC address, the IP address the list shows, both as the
// list entry shows them ("MAC / IP", blanks optional), or "#N", the list
// position from 0. Each given part must match.
struct DeviceText {
    std::optional<std::array<std::uint8_t, 6>> mac;
    std::optional<Ipv4> address;
    std::optional<std::int32_t> position;
};
std::optional<DeviceText> parseDeviceText(std::string_view text);

// Refuses a DEVICE text that is neither a MAC nor an IPv4 address, before
// anything is sent. False with the reason on stderr.
bool checkDeviceText(const std::string& device);

// The list positions of every listed device the text names.
std::vector<std::int32_t> matchingDevices(const Form& form, const DeviceTable& table,
                                          const DeviceText& wanted);

// "  \"MAC / IP\"  or  #N" for each position: how to name one of several.
void listCandidates(const DeviceTable& devices, const std::vector<std::int32_t>& matches,
                    std::ostream& out);

}  // namespace tamro::cli
