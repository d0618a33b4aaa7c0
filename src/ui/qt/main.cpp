// tamro [TEXT]: the setup window. TEXT, all arguments joined by blanks, is
// the model file's path when it contains ".dat".
#include <QApplication>
#include <string>

#include "protocol/device_table.h"
#include "ui/dialog_services.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/qt/window_look.h"
#include "ui/setup_dialog.h"

namespace {

// One table for the whole run of the program.
tamro::DeviceTable deviceTable;

}  // namespace

int main(int argc, char** argv) {
    // Every argument belongs to the command-line text, so Qt sees none of
    // them; its settings come from the environment.
    const std::string commandLine = tamro::commandLineText(argc, argv);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
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
