#pragma once

#include <CLI/CLI.hpp>

namespace tamro::cli {

// Registers `models [TEXT] [--json]` on the program. When the subcommand
// runs, its exit status is left in `exitCode`.
void addModelsCommand(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
