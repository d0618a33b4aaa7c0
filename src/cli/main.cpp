#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "models_command.h"
#include "network_commands.h"
#include "platform/console.h"
#include "platform/udp_socket.h"
#include "show_write_commands.h"

namespace {

constexpr int usageErrorStatus = 2;

}  // namespace

int main(int argc, char** argv) {
    tamro::prepareConsoleOutput();
    if (!tamro::startSocketLayer()) {
        std::cerr << "tamroctl: the system's sockets cannot be started\n";
        return 1;
    }
    // UTF-8 whatever the system code page, so that any path can be named.
    const std::vector<std::string> arguments = tamro::commandLineArguments(argc, argv);
    std::vector<const char*> utf8Argv;
    for (const auto& argument : arguments) utf8Argv.push_back(argument.c_str());

    CLI::App app{"Set up serial-to-LAN device servers from the command line.", "tamroctl"};
    app.require_subcommand(1);
    // A path such as /tmp/x.dat is an argument on every platform, not a
    // Windows-style option.
    app.allow_windows_style_options(false);

    // Each subcommand lives in its own file and reports its status here.
    int exitCode = 0;
    tamro::cli::addModelsCommand(app, exitCode);
    tamro::cli::addNetworkCommands(app, exitCode);
    tamro::cli::addShowWriteCommands(app, exitCode);

    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::ParseError& error) {
        // Help requests end well; every other parse failure is a usage error.
        return app.exit(error) == 0 ? 0 : usageErrorStatus;
    } catch (const std::exception& error) {
        std::cerr << "tamroctl: " << error.what() << '\n';
        return 1;
    }
    return exitCode;
}
