#pragma once

#include <cstdint>

#include "platform/ipv4.h"

namespace tamro {

// 1 when `other` lies on the subnet of `address` under `mask`, else 0. The
// mask is applied bit by bit, contiguous or not.
std::int32_t sameSubnet(const Ipv4& address, const Ipv4& mask, const Ipv4& other);

}  // namespace tamro
