#include "adapter_choice.h"

#include <charconv>

#include "platform/ipv4.h"
#include "platform/text.h"

namespace tamro::cli {

std::int32_t chooseAdapter(const AdapterTable& table, std::string_view choice, std::string& error) {
    if (table.adapterCount <= 0) {
        error = "no usable network adapter";
        return -1;
    }
    const auto count = static_cast<std::size_t>(table.adapterCount);
    if (choice.empty()) return 0;
    if (const auto address = parseDottedText(choice)) {
        for (std::size_t i = 0; i < count; ++i) {
            if (table.adapters[i].address == *address) return static_cast<std::int32_t>(i);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (adapterInterfaceName(table.adapters[i]) == choice ||
            adapterName(table.adapters[i]) == choice) {
            return static_cast<std::int32_t>(i);
        }
    }
    std::int32_t position = -1;
    const auto [end, failure] = std::from_chars(choice.data(), choice.data() + choice.size(), position);
    if (failure == std::errc{} && end == choice.data() + choice.size() && position >= 0 &&
        position < table.adapterCount) {
        return position;
    }
    // The words for several adapters reach here only where one is needed.
    if (choice == "all" || choice == "auto") {
        error = "--adapter " + std::string(choice) +
                " is not taken here: it is for search, diff and export --all (all) and for "
                "show, write, export, apply and diff (auto); name one adapter";
        return -1;
    }
    error = "no adapter matches \"" + std::string(choice) +
            "\" (give its address, interface name or list position; see tamroctl adapters)";
    return -1;
}

std::string adapterEntryText(const AdapterRecord& record) {
    return toDottedText(record.address) + " (" + utf8OrAscii(adapterName(record)) + ")";
}

}  // namespace tamro::cli
