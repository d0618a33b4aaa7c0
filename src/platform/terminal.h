#pragma once

namespace tamro {

// True when standard error is a terminal (a console on Windows), where a
// progress line that rewrites itself makes sense.
bool standardErrorIsTerminal();

}  // namespace tamro
