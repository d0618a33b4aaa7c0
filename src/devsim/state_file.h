#pragma once

#include <span>
#include <string>

#include "devsim/device_behaviour.h"

namespace tamro::devsim {

// The state file: every device's MAC, address, state, restarts and blocks
// (hex), as JSON.
std::string stateFileText(std::span<const SimulatedDevice> devices);

// Writes `text` aside and renames it over `path`, so a reader never sees
// half a file. `error` explains a false.
bool replaceFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace tamro::devsim
