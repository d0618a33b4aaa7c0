#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "diff_command.h"
#include "exit_status.h"
#include "doctor_command.h"
#include "fleet_commands.h"
#include "models_command.h"
#include "network_commands.h"
#include "platform/console.h"
#include "platform/descriptor_limit.h"
#include "platform/udp_socket.h"
#include "show_write_commands.h"
#include "ui/file_version.h"

namespace {

constexpr int usageErrorStatus = 2;

// Edits (insert, delete, replace) between two words.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Says what was wrong in the user's own words. CLI11 lists unexpected
// arguments last to first, and a mistyped subcommand only shows up as "a
// subcommand is required"; both read better from what is left over.
bool explainLeftOver(CLI::App& app) {
    const std::vector<std::string> left = app.remaining(true);
    if (left.empty()) return false;
    if (app.get_subcommands().empty() && !left.front().starts_with("-")) {
        const std::string& typed = left.front();
        std::string nearest;
        std::size_t best = typed.size();
        for (const CLI::App* command : app.get_subcommands({})) {
            const std::size_t distance = editDistance(typed, command->get_name());
            if (distance < best) {
                best = distance;
                nearest = command->get_name();
            }
        }
        std::cerr << "tamroctl: unknown command \"" << typed << "\"";
        // More than half the word changed is no longer a typing slip.
        if (!nearest.empty() && best * 2 <= nearest.size()) {
            std::cerr << "; did you mean \"" << nearest << "\"?";
        }
        std::cerr << "\nRun with --help for the commands.\n";
        return true;
    }
    std::cerr << "tamroctl: unexpected argument" << (left.size() > 1 ? "s" : "") << ":";
    for (const std::string& argument : left) std::cerr << ' ' << argument;
    std::cerr << "\nRun with --help for more information.\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tamro::prepareConsoleOutput();
    if (!tamro::startSocketLayer()) {
        std::cerr << "tamroctl: the system's sockets cannot be started\n";
        return 1;
    }
    // A search holds a socket for each device it reads at once.
    tamro::raiseDescriptorLimit();
    // UTF-8 whatever the system code page, so that any path can be named.
    const std::vector<std::string> arguments = tamro::commandLineArguments(argc, argv);
    std::vector<const char*> utf8Argv;
    for (const auto& argument : arguments) utf8Argv.push_back(argument.c_str());

    CLI::App app{"Set up serial-to-LAN device servers from the command line.", "tamroctl"};
    app.require_subcommand(1);
    // A path such as /tmp/x.dat is an argument on every platform, not a
    // Windows-style option.
    app.allow_windows_style_options(false);
    // The version the window shows, from the same build setting.
    app.set_version_flag("--version",
                         "tamroctl " + tamro::formatVersionText(tamro::buildFileVersion()),
                         "Print the version and exit");

    // CLI11's own refusals (excludes, a value no list holds) read like ours.
    app.failure_message([](const CLI::App* /*app*/, const CLI::Error& error) {
        return "tamroctl: " + std::string(error.what()) +
               "\nRun with --help for more information.\n";
    });

    // Each subcommand lives in its own file and reports its status here.
    int exitCode = 0;
    tamro::cli::addModelsCommand(app, exitCode);
    tamro::cli::addNetworkCommands(app, exitCode);
    tamro::cli::addShowWriteCommands(app, exitCode);
    tamro::cli::addFleetCommands(app, exitCode);
    tamro::cli::addDiffCommand(app, exitCode);
    tamro::cli::addDoctorCommand(app, exitCode);

    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::ParseError& error) {
        // Help requests end well; every other parse failure is a usage error.
        const bool leftOver = dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
                              dynamic_cast<const CLI::RequiredError*>(&error) != nullptr;
        if (leftOver && explainLeftOver(app)) return usageErrorStatus;
        return app.exit(error) == 0 ? 0 : usageErrorStatus;
    } catch (const std::exception& error) {
        std::cerr << "tamroctl: " << error.what() << '\n';
        return 1;
    }
    return exitCode;
}
