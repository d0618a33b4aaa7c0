// Interface and address rows from the IP Helper tables.
#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/network_interfaces.h"
#include "platform/wide_text_win.h"

namespace tamro {

namespace {

// The two-call sizing: ask for the size with no buffer, then fetch into a
// buffer of that size. Empty when either call fails.
template <typename Table, typename Fetch>
std::vector<unsigned char> fetchTable(Fetch fetch) {
    ULONG size = 0;
    if (fetch(nullptr, &size) != ERROR_INSUFFICIENT_BUFFER || size < sizeof(Table)) return {};
    // Heap memory is aligned for any of the tables' fields.
    std::vector<unsigned char> buffer(size);
    if (fetch(reinterpret_cast<Table*>(buffer.data()), &size) != NO_ERROR) return {};
    return buffer;
}

std::string description(const MIB_IFROW& row) {
    const auto* bytes = reinterpret_cast<const char*>(row.bDescr);
    const std::size_t limit = std::min<std::size_t>(row.dwDescrLen, sizeof row.bDescr);
    const std::string_view text(bytes, std::find(bytes, bytes + limit, '\0') - bytes);
    return utf8FromCodePage(text, CP_ACP);
}

}  // namespace

std::optional<std::vector<InterfaceRow>> readInterfaceRows() {
    const auto buffer = fetchTable<MIB_IFTABLE>(
        [](MIB_IFTABLE* table, ULONG* size) { return ::GetIfTable(table, size, FALSE); });
    if (buffer.empty()) return std::nullopt;
    const auto* table = reinterpret_cast<const MIB_IFTABLE*>(buffer.data());

    std::vector<InterfaceRow> rows;
    // Each row is asked for again by its own index: indices are not 1..N.
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        MIB_IFROW entry{};
        entry.dwIndex = table->table[i].dwIndex;
        if (::GetIfEntry(&entry) != NO_ERROR) continue;
        InterfaceRow row;
        row.index = entry.dwIndex;
        row.operationalStatus = static_cast<std::int32_t>(entry.dwOperStatus);
        row.hardwareAddressLength = entry.dwPhysAddrLen;
        row.linkSpeed = entry.dwSpeed;
        row.description = description(entry);
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(),
              [](const InterfaceRow& a, const InterfaceRow& b) { return a.index < b.index; });
    return rows;
}

std::optional<std::vector<AddressRow>> readAddressRows() {
    const auto buffer = fetchTable<MIB_IPADDRTABLE>(
        [](MIB_IPADDRTABLE* table, ULONG* size) { return ::GetIpAddrTable(table, size, FALSE); });
    if (buffer.empty()) return std::nullopt;
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());

    std::vector<AddressRow> rows;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPADDRROW& entry = table->table[i];
        AddressRow row;
        std::memcpy(row.address.bytes.data(), &entry.dwAddr, 4);
        std::memcpy(row.mask.bytes.data(), &entry.dwMask, 4);
        row.interfaceIndex = entry.dwIndex;
        // No system name to tie a socket to: Windows sockets have no such tie.
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace tamro
