#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "doctor_finding.h"
#include "hostnet/adapters.h"
#include "platform/host_checks.h"
#include "platform/network_interfaces.h"
#include "platform/port_holder.h"
#include "protocol/device_search.h"
#include "protocol/device_table.h"

namespace tamro::cli {

// Each interface and why it is or is not a usable adapter. An unusable one
// is a problem only while no adapter is chosen (`chosen`: the interface
// index of the adapter named); loopback is left out, and a link without a
// hardware address (a tunnel) is only information.
std::vector<Finding> interfaceFindings(const std::vector<InterfaceRow>& interfaces,
                                       const std::vector<AddressRow>& addresses,
                                       std::optional<std::uint32_t> chosen = std::nullopt);

// Two adapters whose subnets overlap.
std::vector<Finding> sharedSubnetFindings(const AdapterTable& adapters);

// Reverse-path filtering on the adapter's interface weighed against the
// routes back: off-subnet replies pass only along a route to their source
// (strict: one through this interface). `routes`: nothing when unread.
std::vector<Finding> reversePathFindings(const std::string& interfaceName,
                                         const ReversePathSettings& settings,
                                         const std::optional<std::vector<RouteEntry>>& routes,
                                         const Ipv4& address, const Ipv4& mask);

// The port taken on the adapter's address (or on every address).
std::vector<Finding> portFindings(const std::vector<PortHolder>& holders, const Ipv4& adapter);

std::vector<Finding> echoFindings(const EchoSocketCheck& check);

// What only the devices can tell, from a search's list and the devices it
// dropped because their settings could not be read.
std::vector<Finding> searchFindings(const DeviceTable& devices, std::int32_t count,
                                    const AdapterRecord& adapter,
                                    const std::vector<DroppedDevice>& dropped = {});

void addDoctorCommand(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
