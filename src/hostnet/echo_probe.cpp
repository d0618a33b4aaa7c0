#include "hostnet/echo_probe.h"

#include "platform/icmp_echo.h"

namespace tamro {

std::int32_t sendEchoProbe(const Ipv4& target) {
    return sendIcmpEcho(target, echoProbePayload, echoProbeTimeout);
}

}  // namespace tamro
