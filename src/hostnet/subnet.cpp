#include "hostnet/subnet.h"

namespace tamro {

std::int32_t sameSubnet(const Ipv4& address, const Ipv4& mask, const Ipv4& other) {
    return (address.hostOrder() & mask.hostOrder()) == (mask.hostOrder() & other.hostOrder()) ? 1
                                                                                              : 0;
}

}  // namespace tamro
