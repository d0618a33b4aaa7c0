#include "platform/console.h"

namespace tamro {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

// A POSIX terminal takes the bytes as they are.
void prepareConsoleOutput() {}

}  // namespace tamro
