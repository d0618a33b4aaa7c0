#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "models_command.h"
#include "network_commands.h"
#include "show_write_commands.h"

namespace {

constexpr int usageErrorStatus = 2;

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Set up serial-to-LAN device servers from the command line.", "tamroctl"};
    app.require_subcommand(1);

    // Each subcommand lives in its own file and reports its status here.
    int exitCode = 0;
    tamro::cli::addModelsCommand(app, exitCode);
    tamro::cli::addNetworkCommands(app, exitCode);
    tamro::cli::addShowWriteCommands(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help requests end well; every other parse failure is a usage error.
        return app.exit(error) == 0 ? 0 : usageErrorStatus;
    } catch (const std::exception& error) {
        std::cerr << "tamroctl: " << error.what() << '\n';
        return 1;
    }
    return exitCode;
}
