#include "hostnet/adapters.h"

#include <algorithm>
#include <cstring>

namespace tamro {

namespace {

constexpr std::size_t maximumNames = 256;
// Operational status values of an interface that is up.
constexpr std::int32_t statusConnected = 4;
constexpr std::int32_t statusOperational = 5;
constexpr std::uint64_t rejectedLinkSpeed = 0x40000000;
constexpr Ipv4 loopbackAddress = Ipv4::fromOctets(127, 0, 0, 1);

struct NameEntry {
    std::uint32_t index = 0;
    std::string_view name;
};

// Text up to the first NUL, at most `capacity` - 1 bytes, so that it fits a
// NUL-terminated field of `capacity` bytes.
std::string_view fieldText(std::string_view text, std::size_t capacity) {
    text = text.substr(0, text.find('\0'));
    return text.substr(0, capacity - 1);
}

template <std::size_t Capacity>
void copyField(std::array<char, Capacity>& field, std::string_view text) {
    field.fill('\0');
    std::memcpy(field.data(), text.data(), text.size());
}

template <std::size_t Capacity>
std::string_view fieldView(const std::array<char, Capacity>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

}  // namespace

std::vector<UnusableReason> reasonsUnusable(const InterfaceRow& row, bool hasAddress) {
    std::vector<UnusableReason> reasons;
    if (row.operationalStatus != statusConnected && row.operationalStatus != statusOperational) {
        reasons.push_back(UnusableReason::down);
    }
    if (row.hardwareAddressLength == 0) reasons.push_back(UnusableReason::noHardwareAddress);
    if (row.linkSpeed == rejectedLinkSpeed) reasons.push_back(UnusableReason::rejectedLinkSpeed);
    if (!hasAddress) reasons.push_back(UnusableReason::noAddress);
    if (fieldText(row.description, 256).empty()) reasons.push_back(UnusableReason::noDescription);
    return reasons;
}

bool isUsable(const InterfaceRow& row) {
    // A row without a description still claims its index's name (and so
    // hides a later row of that index); its addresses are left out below.
    const std::vector<UnusableReason> reasons = reasonsUnusable(row, true);
    return reasons.empty() || reasons == std::vector{UnusableReason::noDescription};
}

std::string_view unusableReasonText(UnusableReason reason) {
    switch (reason) {
        case UnusableReason::down: return "down";
        case UnusableReason::noHardwareAddress: return "no hardware address";
        case UnusableReason::rejectedLinkSpeed: return "reports a link speed of 0x40000000";
        case UnusableReason::noAddress: return "no IPv4 address";
        case UnusableReason::noDescription: return "no description";
    }
    return "unknown";
}

void buildAdapterTable(const std::optional<std::vector<InterfaceRow>>& interfaces,
                       const std::optional<std::vector<AddressRow>>& addresses,
                       AdapterTable& table) {
    table.adapterCount = 0;

    std::array<NameEntry, maximumNames> names{};
    std::size_t nameCount = 0;
    if (interfaces) {
        // Every row is examined, whatever its index: indices are not
        // contiguous, and a connected adapter may sit above the row count.
        std::vector<const InterfaceRow*> ordered;
        ordered.reserve(interfaces->size());
        for (const auto& row : *interfaces) ordered.push_back(&row);
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const InterfaceRow* a, const InterfaceRow* b) {
                             return a->index < b->index;
                         });
        for (const InterfaceRow* row : ordered) {
            if (nameCount == names.size()) break;
            if (!isUsable(*row)) continue;
            names[nameCount++] = {row->index, fieldText(row->description, 256)};
        }
    }

    if (!addresses) return;
    for (const auto& row : *addresses) {
        if (table.adapterCount == static_cast<std::int32_t>(table.adapters.size())) break;
        if (row.address == loopbackAddress) continue;
        const auto match = std::find_if(names.begin(), names.begin() + nameCount,
                                        [&](const NameEntry& entry) {
                                            return entry.index == row.interfaceIndex;
                                        });
        if (match == names.begin() + nameCount || match->name.empty()) continue;

        AdapterRecord& record = table.adapters[static_cast<std::size_t>(table.adapterCount)];
        copyField(record.name, match->name);
        record.address = row.address;
        record.mask = row.mask;
        // A cut name would tie sockets to the wrong interface; better none.
        const bool fits = row.interfaceName.size() < record.interfaceName.size() &&
                          row.interfaceName.find('\0') == std::string::npos;
        copyField(record.interfaceName, fits ? std::string_view(row.interfaceName) : "");
        ++table.adapterCount;
    }
}

void enumerateAdapters(AdapterTable& table) {
    buildAdapterTable(readInterfaceRows(), readAddressRows(), table);
}

std::string_view adapterName(const AdapterRecord& record) { return fieldView(record.name); }

std::string_view adapterInterfaceName(const AdapterRecord& record) {
    return fieldView(record.interfaceName);
}

}  // namespace tamro
