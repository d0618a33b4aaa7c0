#pragma once

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace tamro::lab {

inline std::string ownNetworkNamespace() {
    std::array<char, 64> link{};
    const ssize_t length = ::readlink("/proc/self/ns/net", link.data(), link.size() - 1);
    return length > 0 ? std::string(link.data(), static_cast<std::size_t>(length)) : "";
}

inline bool hasDefaultRoute() {
    std::ifstream routes("/proc/net/route");
    if (!routes) return true;  // cannot tell: assume the worst
    std::string line;
    std::getline(routes, line);  // column titles
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string destination;
        fields >> device >> destination;
        if (destination == "00000000") return true;
    }
    return false;
}

// The lab tests send packets. They run only where the lab script put them:
// in a network namespace other than the machine's own (which the script
// names), and one without a default route, so nothing can leave for a real
// network.
inline bool insideLab() {
    const char* machine = std::getenv("TAMRO_LAB_MACHINE_NETNS");
    if (machine == nullptr || std::getenv("TAMRO_LAB_RESPONDER_NETNS") == nullptr) return false;
    const std::string own = ownNetworkNamespace();
    return !own.empty() && own != machine && !hasDefaultRoute();
}

inline std::string responderNamespacePath() {
    const char* path = std::getenv("TAMRO_LAB_RESPONDER_NETNS");
    return path != nullptr ? path : "";
}

}  // namespace tamro::lab
