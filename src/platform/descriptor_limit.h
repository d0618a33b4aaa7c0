#pragma once

#include "platform/udp_socket.h"

namespace tamro {

// Lifts the process's soft limit on open descriptors to its hard limit, so
// that a search can read many devices at once. Nothing happens where there
// is no such limit. Safe to call more than once.
void raiseDescriptorLimit();

// True when a socket could not be opened because the process (or the
// system) has no descriptor left: waiting for one to close helps, the
// device has nothing to do with it.
bool isOutOfDescriptors(SocketError error);

}  // namespace tamro
