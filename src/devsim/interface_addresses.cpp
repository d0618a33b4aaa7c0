#include "devsim/interface_addresses.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace tamro::devsim {

namespace {

in_addr_t networkOrder(const Ipv4& address) {
    in_addr_t value = 0;
    std::memcpy(&value, address.bytes.data(), sizeof value);
    return value;
}

}  // namespace

bool isLocalAddress(const Ipv4& address) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = networkOrder(address);
    local.sin_port = 0;
    const bool bound = ::bind(probe, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    ::close(probe);
    return bound;
}

InterfaceAddresses::InterfaceAddresses(std::string interfaceName)
    : interfaceName_(std::move(interfaceName)) {}

InterfaceAddresses::~InterfaceAddresses() {
    releaseAll();
    if (netlink_ >= 0) ::close(netlink_);
}

bool InterfaceAddresses::ensure(const Ipv4& address, std::string& error) {
    if (isLocalAddress(address)) return true;
    if (interfaceName_.empty()) {
        error = toDottedText(address) + " is not an address of this host (no --interface given)";
        return false;
    }
    if (interfaceIndex_ == 0) {
        interfaceIndex_ = ::if_nametoindex(interfaceName_.c_str());
        if (interfaceIndex_ == 0) {
            error = "no interface " + interfaceName_;
            return false;
        }
    }
    int code = 0;
    if (!change(address, true, code) && code != EEXIST) {
        error = "cannot add " + toDottedText(address) + "/32 to " + interfaceName_ + ": " +
                std::strerror(code);
        return false;
    }
    if (code == 0) added_.push_back(address);
    return true;
}

void InterfaceAddresses::release(const Ipv4& address) {
    const auto found = std::find(added_.begin(), added_.end(), address);
    if (found == added_.end()) return;
    int code = 0;
    change(address, false, code);
    added_.erase(found);
}

void InterfaceAddresses::releaseAll() {
    while (!added_.empty()) release(added_.back());
}

bool InterfaceAddresses::change(const Ipv4& address, bool add, int& errorCode) {
    errorCode = 0;
    if (netlink_ < 0) {
        netlink_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (netlink_ < 0) {
            errorCode = errno;
            return false;
        }
        // The kernel always acknowledges; the limit only guards against a hang.
        timeval limit{1, 0};
        ::setsockopt(netlink_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }

    struct Request {
        nlmsghdr header;
        ifaddrmsg message;
        std::array<char, 64> attributes;
    };
    Request request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = add ? RTM_NEWADDR : RTM_DELADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    if (add) request.header.nlmsg_flags |= NLM_F_CREATE | NLM_F_EXCL;
    request.header.nlmsg_seq = ++sequence_;
    request.message.ifa_family = AF_INET;
    request.message.ifa_prefixlen = 32;
    request.message.ifa_scope = RT_SCOPE_UNIVERSE;
    request.message.ifa_index = interfaceIndex_;

    const in_addr_t value = networkOrder(address);
    for (const unsigned short type : {IFA_LOCAL, IFA_ADDRESS}) {
        auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                                    NLMSG_ALIGN(request.header.nlmsg_len));
        attribute->rta_type = type;
        attribute->rta_len = RTA_LENGTH(sizeof value);
        std::memcpy(RTA_DATA(attribute), &value, sizeof value);
        request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_LENGTH(sizeof value);
    }

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink_, &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
        errorCode = errno;
        return false;
    }

    // The acknowledgement carries the result; other messages are not expected.
    alignas(nlmsghdr) std::array<char, 4096> answer{};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t length = ::recv(netlink_, answer.data(), answer.size(), 0);
        if (length < 0) {
            if (errno == EINTR) continue;
            errorCode = errno;
            return false;
        }
        auto remaining = static_cast<unsigned>(length);
        for (auto* reply = reinterpret_cast<nlmsghdr*>(answer.data()); NLMSG_OK(reply, remaining);
             reply = NLMSG_NEXT(reply, remaining)) {
            if (reply->nlmsg_seq != request.header.nlmsg_seq) continue;
            if (reply->nlmsg_type != NLMSG_ERROR) continue;
            if (reply->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) {
                errorCode = EPROTO;
                return false;
            }
            const auto* result = static_cast<const nlmsgerr*>(NLMSG_DATA(reply));
            errorCode = -result->error;
            return errorCode == 0;
        }
    }
    errorCode = ETIMEDOUT;
    return false;
}

}  // namespace tamro::devsim
