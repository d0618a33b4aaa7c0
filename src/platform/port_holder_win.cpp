// Who holds a UDP port, from the IP Helper's table with owning processes.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/port_holder.h"
#include "platform/wide_text_win.h"

namespace tamro {

namespace {

// The program's file name, as far as the system lets us look.
std::string programOf(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return {};
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const BOOL known = ::QueryFullProcessImageNameW(process, 0, path, &length);
    ::CloseHandle(process);
    if (!known) return {};
    const std::wstring_view full(path, length);
    const auto slash = full.find_last_of(L"\\/");
    return utf8FromWide(slash == std::wstring_view::npos ? full : full.substr(slash + 1));
}

}  // namespace

std::vector<PortHolder> udpPortHolders(std::uint16_t port) {
    std::vector<PortHolder> holders;
    DWORD size = 0;
    if (::GetExtendedUdpTable(nullptr, &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0) !=
        ERROR_INSUFFICIENT_BUFFER) {
        return holders;
    }
    std::vector<unsigned char> buffer(size);
    if (::GetExtendedUdpTable(buffer.data(), &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0) !=
        NO_ERROR) {
        return holders;
    }
    const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_UDPROW_OWNER_PID& row = table->table[i];
        // The port sits in network order in the row's low 16 bits.
        if (ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
        PortHolder holder;
        std::memcpy(holder.address.bytes.data(), &row.dwLocalAddr, 4);
        if (row.dwOwningPid != 0) {
            holder.processId = row.dwOwningPid;
            holder.program = programOf(row.dwOwningPid);
        }
        holders.push_back(std::move(holder));
    }
    return holders;
}

}  // namespace tamro
