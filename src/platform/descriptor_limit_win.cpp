#include <winsock2.h>

#include "platform/descriptor_limit.h"

namespace tamro {

// Winsock has no per-process descriptor limit to lift.
void raiseDescriptorLimit() {}

bool isOutOfDescriptors(SocketError error) { return error == WSAEMFILE || error == WSAENOBUFS; }

}  // namespace tamro
