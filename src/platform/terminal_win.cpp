#include "platform/terminal.h"

#include <windows.h>

namespace tamro {

namespace {

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool standardErrorIsTerminal() { return isConsole(STD_ERROR_HANDLE); }

bool standardInputIsTerminal() { return isConsole(STD_INPUT_HANDLE); }

}  // namespace tamro
