#pragma once

#include <string>
#include <vector>

namespace tamro {

// The program's arguments as UTF-8, the program's name first. On Windows
// they come from the wide command line, whatever the system code page is.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes standard output and error carry UTF-8 bytes unchanged and have a
// console show them as such.
void prepareConsoleOutput();

}  // namespace tamro
