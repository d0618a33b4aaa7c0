#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace tamro::cli {

// Registers `models [TEXT] [--json]` on the program. When the subcommand
// runs, its exit status is left in `exitCode`.
void addModelsCommand(CLI::App& app, int& exitCode);

// The path of the window program beside tamroctl, whose name the default
// model file follows; nothing when the own path cannot be had.
std::optional<std::string> windowProgramPath();

}  // namespace tamro::cli
