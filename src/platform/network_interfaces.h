#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace tamro {

// What the host says about one network interface, in the terms the adapter
// list is built from.
struct InterfaceRow {
    std::uint32_t index = 0;
    // 1 non-operational, 2 disconnected, 3 connecting, 4 connected, 5 operational.
    std::int32_t operationalStatus = 1;
    std::uint32_t hardwareAddressLength = 0;  // 0 for loopback and other links without one
    std::uint64_t linkSpeed = 0;              // bit/s; 0 when the link does not say
    std::string description;
};

// One IPv4 address of the host.
struct AddressRow {
    Ipv4 address;
    Ipv4 mask;
    std::uint32_t interfaceIndex = 0;
    // The system's own name for the interface, as a socket is bound to it.
    std::string interfaceName;
};

// Every interface of the host, in ascending index order; nothing when the
// system will not tell.
std::optional<std::vector<InterfaceRow>> readInterfaceRows();

// Every IPv4 address of the host, in the order the system lists them;
// nothing when the system will not tell.
std::optional<std::vector<AddressRow>> readAddressRows();

}  // namespace tamro
