#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings_file.h"

namespace tamro::cli {

// One key a file and a device hold differently, in the file's words.
struct KeyDifference {
    std::string key;
    std::string file;
    std::string device;  // "-" when the device's form holds nothing for it
};

// The keys the file names whose value the device does not hold; a key the
// file leaves out is not compared. `deviceModel` and `deviceValues` are
// what the form shows for the device.
std::vector<KeyDifference> settingsDifferences(const SettingsDocument& file,
                                               const std::optional<std::string>& deviceModel,
                                               const SettingValues& deviceValues);

// `tamroctl diff FILE|DIR...`: each settings file against the device its
// `mac` names, after one search. Leaves its exit status in `exitCode`.
void addDiffCommand(CLI::App& app, int& exitCode);

}  // namespace tamro::cli
