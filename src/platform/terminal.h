#pragma once

namespace tamro {

// True when standard error is a terminal (a console on Windows), where a
// progress line that rewrites itself makes sense.
bool standardErrorIsTerminal();

// True when standard input is a terminal, where a person can answer a question.
bool standardInputIsTerminal();

}  // namespace tamro
