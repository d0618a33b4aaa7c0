#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "dialog_session.h"

namespace tamro::cli {

// --adapter and --models, as every command that opens the dialog and
// searches takes them.
void addSearchOptions(CLI::App& command, DeviceChoice& choice);

// DEVICE, then the search options, then --model: one device through the
// dialog (show, write, export). Returns the --model option, whose count
// tells whether a model was named.
CLI::Option* addDeviceChoiceOptions(CLI::App& command, DeviceChoice& choice, std::string& model);

}  // namespace tamro::cli
