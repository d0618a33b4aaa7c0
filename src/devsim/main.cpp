// tamro-devsim: one process playing any number of device servers on UDP
// port 30718, for the lab tests, benchmarks and the demo.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "devsim/devices_file.h"
#include "devsim/simulator.h"

int main(int argc, char** argv) {
    using namespace tamro::devsim;

    CLI::App app{"Simulated serial-to-LAN device servers on UDP port 30718"};
    std::string devicesPath;
    SimulatorOptions options;
    std::int32_t restartMs = -1;
    bool checkOnly = false;
    app.add_option("--devices", devicesPath, "JSON devices file")->required();
    app.add_option("--interface", options.interfaceName,
                   "interface that gets a /32 for every device address not yet present");
    app.add_option("--trace", options.tracePath, "JSON lines of every datagram received and sent");
    app.add_option("--state", options.statePath,
                   "JSON file with every device's blocks, rewritten after each change");
    app.add_option("--ready-file", options.readyPath,
                   "file created (holding the process id) once every device listens");
    app.add_option("--restart-ms", restartMs, "silence after a complete write or an assignment")
        ->check(CLI::Range(0, 600'000));
    app.add_option("--max-seconds", options.maxSeconds, "end by itself after this long")
        ->check(CLI::Range(1, 86'400));
    app.add_flag("--check", checkOnly, "read the devices file, report, and exit");
    CLI11_PARSE(app, argc, argv);
    if (restartMs >= 0) options.restartMs = restartMs;

    std::ifstream file(devicesPath);
    if (!file) {
        std::fprintf(stderr, "tamro-devsim: cannot read %s\n", devicesPath.c_str());
        return 2;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const auto definition = parseSimulationDefinition(text.str(), error);
    if (!definition) {
        std::fprintf(stderr, "tamro-devsim: %s: %s\n", devicesPath.c_str(), error.c_str());
        return 2;
    }
    if (checkOnly) {
        std::printf("%zu devices\n", definition->devices.size());
        return 0;
    }
    return runSimulator(*definition, options);
}
