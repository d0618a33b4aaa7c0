#pragma once

#include <CLI/CLI.hpp>

namespace tamro::cli {

// `export` and `apply`: one device's settings to a file, and a file's
// settings onto many devices, each through the setup dialog's handlers as
// `write` drives them. Each leaves its exit status in `exitCode`.
void addFleetCommands(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
