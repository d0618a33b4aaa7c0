#include <dirent.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/port_holder.h"

namespace tamro {

namespace {

// The socket inodes of every process we may look at, with its pid.
std::map<unsigned long, std::int64_t> socketOwners() {
    std::map<unsigned long, std::int64_t> owners;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return owners;
    while (const dirent* process = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (end == process->d_name || *end != '\0') continue;
        const std::string fdDirectory = "/proc/" + std::string(process->d_name) + "/fd";
        DIR* descriptors = ::opendir(fdDirectory.c_str());
        if (descriptors == nullptr) continue;
        while (const dirent* descriptor = ::readdir(descriptors)) {
            std::array<char, 64> target{};
            const std::string link = fdDirectory + "/" + descriptor->d_name;
            const ssize_t length = ::readlink(link.c_str(), target.data(), target.size() - 1);
            if (length <= 0) continue;
            unsigned long inode = 0;
            if (std::sscanf(target.data(), "socket:[%lu]", &inode) == 1) owners.emplace(inode, pid);
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return owners;
}

std::string programOf(std::int64_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
}

}  // namespace

std::vector<PortHolder> udpPortHolders(std::uint16_t port) {
    std::vector<PortHolder> holders;
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // column names
    std::map<unsigned long, std::int64_t> owners;
    bool ownersRead = false;
    while (std::getline(table, line)) {
        // "  12: 0100000A:77FE 00000000:0000 07 ... uid timeout inode ..."
        unsigned int localAddress = 0, localPort = 0;
        unsigned long inode = 0;
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        if (std::sscanf(local.c_str(), "%8X:%4X", &localAddress, &localPort) != 2) continue;
        if (localPort != port) continue;
        PortHolder holder;
        // The kernel prints the address as the number in host byte order.
        for (std::size_t i = 0; i < 4; ++i) {
            holder.address.bytes[i] = static_cast<std::uint8_t>(localAddress >> (8 * i));
        }
        if (!ownersRead) {
            owners = socketOwners();
            ownersRead = true;
        }
        if (const auto owner = owners.find(inode); owner != owners.end()) {
            holder.processId = owner->second;
            holder.program = programOf(owner->second);
        }
        holders.push_back(std::move(holder));
    }
    return holders;
}

}  // namespace tamro
