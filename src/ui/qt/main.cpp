// tamro [TEXT]: the setup window. TEXT, all arguments joined by blanks, is
// the model file's path when it contains ".dat".
#include <QApplication>
#include <iostream>
#include <string>

#include "platform/descriptor_limit.h"
#include "protocol/device_table.h"
#include "ui/dialog_services.h"
#include "ui/file_version.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/qt/window_look.h"
#include "ui/setup_dialog.h"

namespace {

// One table for the whole run of the program.
tamro::DeviceTable deviceTable;

// --help and --version hold no ".dat", so they can never name a model file:
// answering them takes nothing from the command-line text.
bool answeredWithoutWindow(const std::string& commandLine) {
    if (commandLine == "--version") {
        std::cout << "tamro " << tamro::formatVersionText(tamro::buildFileVersion()) << '\n';
        return true;
    }
    if (commandLine == "--help" || commandLine == "-h") {
        std::cout << "Usage: tamro [TEXT]\n"
                     "The setup window for serial-to-LAN device servers.\n"
                     "TEXT, all arguments joined by blanks, is the model file's path when it\n"
                     "contains \".dat\"; otherwise tamro.dat beside the program is used.\n"
                     "  --help     print this help and exit\n"
                     "  --version  print the version and exit\n";
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Every argument belongs to the command-line text, so Qt sees none of
    // them; its settings come from the environment.
    const std::string commandLine = tamro::commandLineText(argc, argv);
    if (answeredWithoutWindow(commandLine)) return 0;
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // A search holds a socket for each device it reads at once.
    tamro::raiseDescriptorLimit();
    QApplication app(qtArgc, qtArgv);
    tamro::qt::applyWindowLook(app);

    tamro::SystemDialogServices services;
    tamro::qt::QtFrontEnd frontEnd;
    bool opened = false;
    tamro::runApplication(frontEnd, services, deviceTable, commandLine,
                          [&](tamro::SetupDialog& dialog) {
                              opened = true;
                              tamro::qt::SetupWindow window(dialog.form());
                              frontEnd.attach(&window);
                              window.exec();
                              frontEnd.waitForWorkers();
                              frontEnd.attach(nullptr);
                          });
    // Nothing is saved either way; a start that failed says so to a script.
    return opened ? 0 : 1;
}
