#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/ipv4.h"
#include "protocol/block_layout.h"

namespace tamro::devsim {

// Writes the named settings of a device in the devices file into its blocks.
// With `withDefaults`, a setting that is not given takes its default; without,
// it leaves the bytes alone. Bits a write must carry along keep what was
// there. A bad setting throws DefinitionError naming the place under `where`.
void encodeSettings(ConfigurationBlocks& blocks, const nlohmann::json& settings,
                    const Ipv4& deviceAddress, bool withDefaults, const std::string& where);

}  // namespace tamro::devsim
