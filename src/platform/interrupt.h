#pragma once

namespace tamro {

// Ctrl+C and termination (SIGINT and SIGTERM; on Windows the console's
// Ctrl+C, Ctrl+Break and close) while work that must not be cut in the
// middle runs: the first asks the work to stop at its next safe point, a
// second ends the program at once with status 130.
//
// While a guard lives the handler is installed; the flag stays set until
// the next guard is made.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// True once an interrupt has arrived under the current guard.
bool interruptRequested();

// What the handler does for one arrival, as a test may call it: sets the
// flag the first time; ends the program the second.
void noteInterrupt();

}  // namespace tamro
