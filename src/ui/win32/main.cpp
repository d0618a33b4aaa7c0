// tamro.exe: the setup dialog on Windows. The command-line text (everything
// after the program's name) names a model file when it contains ".dat".
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/file_version_info.h"
#include "platform/udp_socket.h"
#include "platform/wide_text_win.h"
#include "protocol/device_table.h"
#include "ui/dialog_services.h"
#include "ui/file_version.h"
#include "ui/setup_dialog.h"
#include "ui/win32/setup_dialog_window.h"
#include "ui/win32/shell_text.h"
#include "ui/win32/win32_front_end.h"

namespace {

// One table for the whole run of the program.
tamro::DeviceTable deviceTable;

constexpr int appIconResource = 128;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Without the sockets there is nothing to set up, and nothing is said.
    if (!tamro::startSocketLayer()) return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_INTERNET_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // Taken from the whole line rather than the argument vector, so that
    // blanks and quotes reach the dialog as typed.
    const std::string commandLine =
        tamro::utf8FromWide(tamro::win32::commandLineText(::GetCommandLineW()));

    const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(appIconResource));
    tamro::SystemDialogServices services;
    tamro::win32::Win32FrontEnd frontEnd;
    tamro::SetupDialog dialog(frontEnd, services, deviceTable,
                              tamro::FileVersion{tamro::runningFileVersion()});
    if (!commandLine.empty()) dialog.setCommandLine(commandLine);
    tamro::win32::SetupDialogWindow window(dialog, frontEnd, icon);
    window.run(instance);
    // Nothing is saved either way; a start that failed says so to a script.
    return frontEnd.endResult() == -1 ? 1 : 0;
}
