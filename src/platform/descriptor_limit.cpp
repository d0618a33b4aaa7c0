#include "platform/descriptor_limit.h"

#include <sys/resource.h>

#include <cerrno>

namespace tamro {

void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) return;
    // An unlimited hard limit may still be above what the kernel allows per
    // process; a large finite value is the next best thing.
    constexpr rlim_t generous = 1 << 16;
    if (limit.rlim_max > generous && soft < generous) {
        limit.rlim_cur = generous;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool isOutOfDescriptors(SocketError error) { return error == EMFILE || error == ENFILE; }

}  // namespace tamro
