#include "protocol/address_rules.h"

#include <bit>

namespace tamro {

AddressFault addressFault(const Ipv4& address, const Ipv4& mask, const Ipv4& adapterAddress) {
    const std::uint32_t value = address.hostOrder();
    const std::uint8_t first = address.bytes[0];
    if (first == 0) return AddressFault::thisNetwork;
    if (first == 127) return AddressFault::loopback;
    if (first >= 224 && first < 240) return AddressFault::multicast;
    if (address == limitedBroadcast) return AddressFault::limitedBroadcast;
    if (first >= 240) return AddressFault::reserved;
    const std::uint32_t hostBits = ~mask.hostOrder();
    // /31 links have two hosts and no broadcast; a /32 is the host alone.
    if (std::popcount(hostBits) >= 2) {
        if ((value & hostBits) == 0) return AddressFault::networkAddress;
        if ((value & hostBits) == hostBits) return AddressFault::subnetBroadcast;
    }
    if (address == adapterAddress) return AddressFault::adapterAddress;
    return AddressFault::none;
}

std::string_view addressFaultText(AddressFault fault) {
    switch (fault) {
        case AddressFault::thisNetwork: return "in 0.0.0.0/8, which no host may use";
        case AddressFault::loopback: return "a loopback address (127.0.0.0/8)";
        case AddressFault::multicast: return "a multicast address (224.0.0.0/4)";
        case AddressFault::reserved: return "a reserved address (240.0.0.0/4)";
        case AddressFault::limitedBroadcast: return "the broadcast address 255.255.255.255";
        case AddressFault::networkAddress: return "the network address of its subnet";
        case AddressFault::subnetBroadcast: return "the broadcast address of its subnet";
        case AddressFault::adapterAddress: return "the adapter's own address";
        case AddressFault::none: break;
    }
    return "";
}

}  // namespace tamro
