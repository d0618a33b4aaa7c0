#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"
#include "platform/network_interfaces.h"

namespace tamro {

// One IPv4 address of a usable host adapter.
struct AdapterRecord {
    std::array<char, 256> name{};  // the interface's description, NUL-terminated
    Ipv4 address;
    Ipv4 mask;
    // The system's name for the interface, NUL-terminated, so that a socket
    // can be tied to it; empty when it does not fit.
    std::array<char, 64> interfaceName{};
};

// The usable adapters' addresses, in the order of the host's address list.
struct AdapterTable {
    std::int32_t adapterCount = 0;
    std::array<AdapterRecord, 256> adapters{};
};

// Why an interface offers no adapter address to search on.
enum class UnusableReason {
    down,                // neither connected nor operational
    noHardwareAddress,   // loopback and other links without one
    rejectedLinkSpeed,   // reports exactly 0x40000000 bit/s
    noAddress,           // has no IPv4 address
    noDescription,       // the list shows an adapter by its description
};

// Every reason against `row`, in the order above; none when its addresses
// are listed as adapters (unless 127.0.0.1).
// `hasAddress`: some IPv4 address is on the interface.
std::vector<UnusableReason> reasonsUnusable(const InterfaceRow& row, bool hasAddress);

// Whether `row` may name its index: no reason against the interface itself
// but perhaps its missing description (its addresses are the address rows'
// business, and a nameless index lists none).
bool isUsable(const InterfaceRow& row);

// The reason in words: "down", "no hardware address", ...
std::string_view unusableReasonText(UnusableReason reason);

// Joins the interface and address rows into `table`: an address is listed
// when its interface is usable (above) and has a description. 127.0.0.1 is
// never listed. Either table missing leaves `table` empty.
void buildAdapterTable(const std::optional<std::vector<InterfaceRow>>& interfaces,
                       const std::optional<std::vector<AddressRow>>& addresses,
                       AdapterTable& table);

// Fills `table` from the host's own interfaces; an empty table is the only
// sign that something failed.
void enumerateAdapters(AdapterTable& table);

std::string_view adapterName(const AdapterRecord& record);
std::string_view adapterInterfaceName(const AdapterRecord& record);

}  // namespace tamro
