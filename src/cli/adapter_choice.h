#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostnet/adapters.h"

namespace tamro::cli {

// The adapter position that `choice` names: its address, its interface
// name, or its list position. -1 with `error` set when none fits.
std::int32_t chooseAdapter(const AdapterTable& table, std::string_view choice, std::string& error);

// "10.77.0.1 (veth0)", as the adapter list shows it.
std::string adapterEntryText(const AdapterRecord& record);

}  // namespace tamro::cli
