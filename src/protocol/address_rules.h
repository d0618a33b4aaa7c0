#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ipv4.h"

namespace tamro {

// Why no device should be given an address. A device given one of these
// drops off the network, or takes the address of the host it is set up from.
enum class AddressFault {
    none,
    thisNetwork,       // 0.0.0.0/8
    loopback,          // 127.0.0.0/8
    multicast,         // 224.0.0.0/4
    reserved,          // 240.0.0.0/4 but 255.255.255.255
    limitedBroadcast,  // 255.255.255.255
    networkAddress,    // the device's subnet's own address (host bits all 0)
    subnetBroadcast,   // the device's subnet's broadcast (host bits all 1)
    adapterAddress,    // the host adapter the setup goes out through
};

// The first fault of `address` for a device that will have `mask` (an
// assignment carries no mask: give the adapter's), set up through the
// adapter at `adapterAddress`. A mask that leaves fewer than two host bits
// (/31, /32) has no network or broadcast address to refuse.
AddressFault addressFault(const Ipv4& address, const Ipv4& mask, const Ipv4& adapterAddress);

// "the subnet's broadcast address", for "10.77.0.255 is ...".
std::string_view addressFaultText(AddressFault fault);

}  // namespace tamro
