#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "devsim/device_definition.h"

namespace tamro::devsim {

struct SimulatorOptions {
    std::string interfaceName;  // where device addresses are added; empty: add none
    std::string tracePath;
    std::string statePath;
    std::string readyPath;
    std::optional<std::int32_t> restartMs;  // beats the file's value, not a device's own
    std::int32_t maxSeconds = 600;
};

// Runs the devices until SIGTERM, SIGINT or the time limit. Returns the
// process exit status: 0 after a normal end, 1 when start-up failed.
int runSimulator(const SimulationDefinition& definition, const SimulatorOptions& options);

}  // namespace tamro::devsim
