#pragma once

#include <optional>
#include <string>

#include "devsim/device_definition.h"

namespace tamro::devsim {

// Parses the devices file text. On failure returns nothing and sets `error`
// to a message naming the device and field.
std::optional<SimulationDefinition> parseSimulationDefinition(const std::string& text,
                                                              std::string& error);

}  // namespace tamro::devsim
