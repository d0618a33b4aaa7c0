#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamro::cli {

// Registers `models [TEXT] [--json]` on the program. When the subcommand
// runs, its exit status is left in `exitCode`.
void addModelsCommand(CLI::App& app, int& exitCode);

// The path of the window program beside tamroctl, whose name the default
// model file follows; nothing when the own path cannot be had.
std::optional<std::string> windowProgramPath();

// Why the system would not give the model loader the file at `path`; ""
// when it would.
std::string openFailureReason(const std::string& path);

// What a model file's bytes hold that the loader takes without a word but
// that cannot work as meant, one sentence each.
std::vector<std::string> modelFileWarnings(std::string_view bytes);

}  // namespace tamro::cli
