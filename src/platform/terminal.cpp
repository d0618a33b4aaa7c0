#include "platform/terminal.h"

#include <unistd.h>

namespace tamro {

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool standardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace tamro
