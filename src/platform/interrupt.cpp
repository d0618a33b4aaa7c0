#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/interrupt.h"

namespace tamro {

namespace {

std::atomic<int> arrivals{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

void onSignal(int /*signal*/) { noteInterrupt(); }

}  // namespace

void noteInterrupt() {
    if (arrivals.fetch_add(1) == 0) {
        static constexpr char text[] =
            "\ninterrupted: finishing the device in progress (Ctrl+C again ends at once)\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
        return;
    }
    ::_exit(130);
}

InterruptGuard::InterruptGuard() {
    arrivals = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    // Restarted calls keep output to a pipe whole; the socket waits, which
    // the system never restarts, go round again on EINTR themselves.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInterrupt);
    ::sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptGuard::~InterruptGuard() {
    ::sigaction(SIGINT, &previousInterrupt, nullptr);
    ::sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool interruptRequested() { return arrivals.load() > 0; }

}  // namespace tamro
