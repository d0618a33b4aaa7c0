#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "platform/port_holder.h"

namespace tamro {

namespace {

std::string programOf(DWORD processId) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::string name;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
            name.assign(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
            break;
        }
    }
    CloseHandle(snapshot);
    return name;
}

}  // namespace

std::vector<PortHolder> udpPortHolders(std::uint16_t port) {
    std::vector<PortHolder> holders;
    ULONG size = 0;
    if (GetExtendedUdpTable(nullptr, &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0) !=
        ERROR_INSUFFICIENT_BUFFER) {
        return holders;
    }
    // The table may grow between the two calls: a little room to spare.
    std::vector<unsigned char> buffer(size + 16 * sizeof(MIB_UDPROW_OWNER_PID));
    size = static_cast<ULONG>(buffer.size());
    if (GetExtendedUdpTable(buffer.data(), &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0) != NO_ERROR) {
        return holders;
    }
    const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
    const std::size_t fits =
        (size - offsetof(MIB_UDPTABLE_OWNER_PID, table)) / sizeof(MIB_UDPROW_OWNER_PID);
    const std::size_t rows = std::min<std::size_t>(table->dwNumEntries, fits);
    for (std::size_t i = 0; i < rows; ++i) {
        const MIB_UDPROW_OWNER_PID& row = table->table[i];
        if (ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
        PortHolder holder;
        std::memcpy(holder.address.bytes.data(), &row.dwLocalAddr, 4);
        holder.processId = row.dwOwningPid;
        holder.program = programOf(row.dwOwningPid);
        holders.push_back(std::move(holder));
    }
    return holders;
}

}  // namespace tamro
