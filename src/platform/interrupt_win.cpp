#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/interrupt.h"

namespace tamro {

namespace {

std::atomic<int> arrivals{0};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: noteInterrupt(); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void noteInterrupt() {
    if (arrivals.fetch_add(1) == 0) {
        std::fputs("\ninterrupted: finishing the device in progress (Ctrl+C again ends at once)\n",
                   stderr);
        return;
    }
    ::ExitProcess(130);
}

InterruptGuard::InterruptGuard() {
    arrivals = 0;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() { ::SetConsoleCtrlHandler(onConsoleEvent, FALSE); }

bool interruptRequested() { return arrivals.load() > 0; }

}  // namespace tamro
