#pragma once

#include <CLI/CLI.hpp>

namespace tamro::cli {

// `adapters`, `search`, `assign` and `ping`: the device protocol from the
// command line. Each leaves its exit status in `exitCode` when it runs.
void addNetworkCommands(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
