#include "platform/terminal.h"

#include <unistd.h>

namespace tamro {

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tamro
