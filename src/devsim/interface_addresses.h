#pragma once

#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace tamro::devsim {

// Gives the simulator's namespace the addresses its devices answer from.
// Needs CAP_NET_ADMIN; meant for the device side of the lab, never the host.
class InterfaceAddresses {
public:
    // An empty name means: never change the interface, use what is there.
    explicit InterfaceAddresses(std::string interfaceName);
    ~InterfaceAddresses();
    InterfaceAddresses(const InterfaceAddresses&) = delete;
    InterfaceAddresses& operator=(const InterfaceAddresses&) = delete;

    // True when the address is local now, or was made local as a /32.
    // `error` explains a false.
    bool ensure(const Ipv4& address, std::string& error);
    // Takes away an address this object added; others are left alone.
    void release(const Ipv4& address);
    // Takes away every address this object added.
    void releaseAll();

private:
    bool change(const Ipv4& address, bool add, int& errorCode);

    std::string interfaceName_;
    unsigned interfaceIndex_ = 0;
    int netlink_ = -1;
    unsigned sequence_ = 0;
    std::vector<Ipv4> added_;
};

// Whether a socket could be bound to this address right now.
bool isLocalAddress(const Ipv4& address);

}  // namespace tamro::devsim
