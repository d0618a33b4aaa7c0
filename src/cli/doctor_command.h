#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "doctor_finding.h"
#include "hostnet/adapters.h"
#include "platform/host_checks.h"
#include "platform/network_interfaces.h"
#include "platform/port_holder.h"
#include "protocol/device_table.h"

namespace tamro::cli {

// Each interface and why it is or is not a usable adapter.
std::vector<Finding> interfaceFindings(const std::vector<InterfaceRow>& interfaces,
                                       const std::vector<AddressRow>& addresses);

// Two adapters whose subnets overlap.
std::vector<Finding> sharedSubnetFindings(const AdapterTable& adapters);

std::vector<Finding> reversePathFindings(const std::string& interfaceName,
                                         std::optional<std::int32_t> level);

// The port taken on the adapter's address (or on every address).
std::vector<Finding> portFindings(const std::vector<PortHolder>& holders, const Ipv4& adapter);

std::vector<Finding> echoFindings(const EchoSocketCheck& check);

// What only the devices can tell, from a search's list.
std::vector<Finding> searchFindings(const DeviceTable& devices, std::int32_t count,
                                    const AdapterRecord& adapter);

void addDoctorCommand(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
