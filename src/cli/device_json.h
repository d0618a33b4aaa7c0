#pragma once

#include <nlohmann/json.hpp>

#include "hostnet/adapters.h"
#include "protocol/device_table.h"

namespace tamro::cli {

// A found device: identity, and its settings when it was read.
nlohmann::ordered_json deviceJson(const DeviceRecord& record);

nlohmann::ordered_json adapterJson(const AdapterRecord& record);

}  // namespace tamro::cli
