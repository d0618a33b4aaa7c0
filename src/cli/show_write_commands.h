#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "dialog_session.h"

namespace tamro::cli {

// `show` and `write`: one device through the setup dialog's own handlers,
// driven as an operator drives the window. Each leaves its exit status in
// `exitCode` when it runs.
void addShowWriteCommands(CLI::App& app, int& exitCode);

// `ping ADDRESS --device DEVICE`: the dialog's PING button for that device,
// with ADDRESS as the address to set. Prints the dialog's answer.
int runDevicePing(const std::string& address, const DeviceChoice& choice);

}  // namespace tamro::cli
