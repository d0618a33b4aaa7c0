#include "devsim/simulator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "devsim/device_behaviour.h"
#include "devsim/interface_addresses.h"
#include "devsim/state_file.h"
#include "devsim/trace.h"
#include "protocol/datagram_layout.h"
#include "protocol/device_address.h"

namespace tamro::devsim {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signalNumber) { stopSignal = signalNumber; }

// Larger than any request; a bigger datagram is reported as such, not cut.
constexpr std::size_t receiveBufferLength = 2048;
// A burst of replies that finds the queues full is retried this often, 1 ms apart.
constexpr int maxSendAttempts = 50;
// Datagrams taken from one socket before the others get their turn.
constexpr int receiveBatch = 64;

sockaddr_in socketAddress(const Ipv4& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    std::memcpy(&result.sin_addr.s_addr, address.bytes.data(), 4);
    result.sin_port = htons(port);
    return result;
}

Endpoint endpointOf(const sockaddr_in& address) {
    Endpoint result;
    std::memcpy(result.address.bytes.data(), &address.sin_addr.s_addr, 4);
    result.port = ntohs(address.sin_port);
    return result;
}

// One bound socket on addr:30718, shared by the devices at that address and by
// faults that send from it.
struct BoundSocket {
    int fd = -1;
    Ipv4 address;
    std::vector<std::size_t> owners;
    bool keep = false;  // needed by a fault for the whole run
};

enum class TaskKind { send, restart, comeBack };

struct Task {
    TaskKind kind = TaskKind::send;
    std::size_t device = 0;
    std::uint64_t generation = 0;
    Ipv4 from;
    Endpoint to;
    Bytes payload;
    std::string what;
    int attempts = 0;
    Ipv4 newAddress;  // restart
};

class Simulator {
public:
    Simulator(const SimulationDefinition& definition, const SimulatorOptions& options)
        : options_(options),
          start_(Clock::now()),
          trace_(start_),
          addresses_(options.interfaceName) {
        const std::int32_t globalRestart =
            options.restartMs.value_or(definition.restartMs.value_or(defaultRestartMs));
        for (const DeviceDefinition& deviceDefinition : definition.devices) {
            devices_.emplace_back(deviceDefinition,
                                  deviceDefinition.restartMs.value_or(globalRestart));
        }
    }

    ~Simulator() {
        for (auto& [key, socket] : sockets_) ::close(socket.fd);
        if (sharedFd_ >= 0) ::close(sharedFd_);
    }

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    int run();

private:
    bool startUp();
    bool openShared(std::string& error);
    BoundSocket* attach(const Ipv4& address, std::string& error);
    void detach(std::size_t device, const Ipv4& address);
    int openBound(const Ipv4& address, std::string& error);

    void receiveFrom(int fd, bool shared);
    void handleShared(const Endpoint& from, const Endpoint& to,
                      std::span<const std::uint8_t> data);
    void handleUnicast(BoundSocket& socket, const Endpoint& from,
                       std::span<const std::uint8_t> data);
    bool carryOut(std::size_t index, const Response& response);

    void schedule(Clock::time_point due, Task task);
    void runDueTasks(Clock::time_point now);
    void send(Task task, Clock::time_point now);
    void restart(std::size_t index, const Ipv4& newAddress);
    void comeBack(std::size_t index, const Ipv4& newAddress);

    bool isOwnAddress(const Ipv4& address) const;
    std::optional<Mac> macOf(std::size_t index) const { return devices_[index].definition.mac; }
    void writeState();
    void writeReady();

    SimulatorOptions options_;
    Clock::time_point start_;
    Trace trace_;
    InterfaceAddresses addresses_;
    std::vector<SimulatedDevice> devices_;
    std::map<std::uint32_t, BoundSocket> sockets_;  // by address, host order
    int sharedFd_ = -1;
    std::map<std::pair<Clock::time_point, std::uint64_t>, Task> tasks_;
    std::uint64_t taskSequence_ = 0;
    bool socketsChanged_ = true;
};

int Simulator::openBound(const Ipv4& address, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    // The shared socket holds 0.0.0.0:30718; each device needs the same port on its own address.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in local = socketAddress(address, devicePort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = "bind " + toDottedText(address) + ":" + std::to_string(devicePort) + ": " +
                std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Simulator::openShared(std::string& error) {
    sharedFd_ = openBound(Ipv4{}, error);
    if (sharedFd_ < 0) return false;
    const int on = 1;
    ::setsockopt(sharedFd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    const int bufferBytes = 1 << 20;
    if (::setsockopt(sharedFd_, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0) {
        ::setsockopt(sharedFd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    }
    return true;
}

BoundSocket* Simulator::attach(const Ipv4& address, std::string& error) {
    const auto key = address.hostOrder();
    auto found = sockets_.find(key);
    if (found != sockets_.end()) return &found->second;
    if (!addresses_.ensure(address, error)) return nullptr;
    const int fd = openBound(address, error);
    if (fd < 0) return nullptr;
    BoundSocket socket;
    socket.fd = fd;
    socket.address = address;
    socketsChanged_ = true;
    return &sockets_.emplace(key, std::move(socket)).first->second;
}

void Simulator::detach(std::size_t device, const Ipv4& address) {
    const auto found = sockets_.find(address.hostOrder());
    if (found == sockets_.end()) return;
    auto& owners = found->second.owners;
    owners.erase(std::remove(owners.begin(), owners.end(), device), owners.end());
    if (!owners.empty() || found->second.keep) return;
    // Nobody answers here any more, and neither should the address (pings included).
    ::close(found->second.fd);
    sockets_.erase(found);
    addresses_.release(address);
    socketsChanged_ = true;
}

bool Simulator::startUp() {
    std::string error;
    if (!options_.tracePath.empty() && !trace_.open(options_.tracePath, error)) {
        std::fprintf(stderr, "tamro-devsim: %s\n", error.c_str());
        return false;
    }
    // Hundreds of devices need hundreds of sockets.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    if (!openShared(error)) {
        std::fprintf(stderr, "tamro-devsim: %s\n", error.c_str());
        return false;
    }
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        BoundSocket* socket = attach(devices_[i].address, error);
        if (socket == nullptr) {
            std::fprintf(stderr, "tamro-devsim: device %s: %s\n",
                         macText(devices_[i].definition.mac).c_str(), error.c_str());
            return false;
        }
        socket->owners.push_back(i);
    }
    for (const SimulatedDevice& device : devices_) {
        const FaultDefinition& faults = device.definition.faults;
        for (const auto& other : {faults.replyFrom, faults.discoveryFrom, faults.spoofFrom}) {
            if (!other) continue;
            BoundSocket* socket = attach(*other, error);
            if (socket == nullptr) {
                std::fprintf(stderr, "tamro-devsim: device %s: %s\n",
                             macText(device.definition.mac).c_str(), error.c_str());
                return false;
            }
            socket->keep = true;
        }
    }
    return true;
}

bool Simulator::isOwnAddress(const Ipv4& address) const {
    return sockets_.count(address.hostOrder()) != 0;
}

void Simulator::receiveFrom(int fd, bool shared) {
    for (int taken = 0; taken < receiveBatch; ++taken) {
        std::array<std::uint8_t, receiveBufferLength> buffer{};
        sockaddr_in sender{};
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t received = ::recvmsg(fd, &message, 0);
        if (received < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                std::fprintf(stderr, "tamro-devsim: receive: %s\n", std::strerror(errno));
            }
            return;
        }
        if (message.msg_namelen < sizeof sender || sender.sin_family != AF_INET) continue;
        const auto length = std::min(static_cast<std::size_t>(received), buffer.size());
        const Endpoint from = endpointOf(sender);

        Endpoint to;
        to.port = devicePort;
        if (shared) {
            for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO &&
                    header->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(header), sizeof info);
                    std::memcpy(to.address.bytes.data(), &info.ipi_addr.s_addr, 4);
                }
            }
        }

        if ((message.msg_flags & MSG_TRUNC) != 0) {
            trace_.datagram(false, std::nullopt, from, to, buffer.data(), length,
                            "ignored: longer than any request");
            continue;
        }
        if (shared) {
            handleShared(from, to, std::span(buffer).first(length));
            continue;
        }
        for (auto& [key, socket] : sockets_) {
            if (socket.fd == fd) {
                handleUnicast(socket, from, std::span(buffer).first(length));
                break;
            }
        }
    }
}

void Simulator::handleShared(const Endpoint& from, const Endpoint& to,
                             std::span<const std::uint8_t> data) {
    // A broadcast from one of our own devices comes back to us; it is not a request.
    if (isOwnAddress(from.address)) {
        trace_.datagram(false, std::nullopt, from, to, data.data(), data.size(),
                        "ignored: from own device");
        return;
    }
    trace_.datagram(false, std::nullopt, from, to, data.data(), data.size(), broadcastWhat(data));
    bool stateChanged = false;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (carryOut(i, takeBroadcast(devices_[i], from, data))) stateChanged = true;
    }
    if (stateChanged) writeState();
}

void Simulator::handleUnicast(BoundSocket& socket, const Endpoint& from,
                              std::span<const std::uint8_t> data) {
    const Endpoint to{socket.address, devicePort};
    if (socket.owners.empty()) {
        trace_.datagram(false, std::nullopt, from, to, data.data(), data.size(),
                        "ignored: no device here");
        return;
    }
    // Copied: a restart below may detach the device and invalidate the socket.
    const std::vector<std::size_t> owners = socket.owners;
    for (const std::size_t index : owners) {
        const Response response = takeUnicast(devices_[index], from, data);
        if (carryOut(index, response)) writeState();
        trace_.datagram(false, macOf(index), from, to, data.data(), data.size(), response.what);
    }
}

// Queues the device's replies and restart. Returns true when the state file is behind.
bool Simulator::carryOut(std::size_t index, const Response& response) {
    const auto now = Clock::now();
    const SimulatedDevice& device = devices_[index];
    for (const OutgoingDatagram& reply : response.replies) {
        Task task;
        task.device = index;
        task.generation = device.generation;
        task.from = reply.from;
        task.to = reply.to;
        task.payload = reply.payload;
        task.what = reply.what;
        schedule(now + Milliseconds(reply.delayMs), std::move(task));
    }
    if (response.restart) {
        if (response.restart->delayMs) {
            Task restartTask;
            restartTask.kind = TaskKind::restart;
            restartTask.device = index;
            restartTask.generation = device.generation;
            restartTask.newAddress = response.restart->address;
            schedule(now + Milliseconds(*response.restart->delayMs), std::move(restartTask));
        } else {
            restart(index, response.restart->address);
        }
    }
    return response.blocksChanged;
}

void Simulator::schedule(Clock::time_point due, Task task) {
    tasks_.emplace(std::make_pair(due, ++taskSequence_), std::move(task));
}

void Simulator::runDueTasks(Clock::time_point now) {
    while (!tasks_.empty() && tasks_.begin()->first.first <= now) {
        auto node = tasks_.extract(tasks_.begin());
        Task task = std::move(node.mapped());
        // Work from before a restart dies with it, as on a real device.
        if (task.generation != devices_[task.device].generation) continue;
        switch (task.kind) {
            case TaskKind::send: send(std::move(task), now); break;
            case TaskKind::restart:
                restart(task.device, task.newAddress);
                writeState();
                break;
            case TaskKind::comeBack: comeBack(task.device, task.newAddress); break;
        }
    }
}

void Simulator::send(Task task, Clock::time_point now) {
    const auto found = sockets_.find(task.from.hostOrder());
    if (found == sockets_.end()) {
        trace_.event("send failed", macOf(task.device), "no socket on " + toDottedText(task.from));
        return;
    }
    const sockaddr_in target = socketAddress(task.to.address, task.to.port);
    const ssize_t sent = ::sendto(found->second.fd, task.payload.data(), task.payload.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent < 0) {
        const int error = errno;
        const bool transient = error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS ||
                               error == EINTR;
        if (transient && ++task.attempts < maxSendAttempts) {
            schedule(now + Milliseconds(1), std::move(task));
            return;
        }
        trace_.event("send failed", macOf(task.device),
                     task.what + " to " + endpointText(task.to) + ": " + std::strerror(error));
        return;
    }
    trace_.datagram(true, macOf(task.device), Endpoint{task.from, devicePort}, task.to,
                    task.payload.data(), task.payload.size(), task.what);
}

void Simulator::restart(std::size_t index, const Ipv4& newAddress) {
    SimulatedDevice& device = devices_[index];
    beginRestart(device);
    trace_.event("restart", macOf(index),
                 "back at " + toDottedText(newAddress) + " in " + std::to_string(device.restartMs) +
                     " ms");
    Task back;
    back.kind = TaskKind::comeBack;
    back.device = index;
    back.generation = device.generation;
    back.newAddress = newAddress;
    schedule(Clock::now() + Milliseconds(device.restartMs), std::move(back));
}

void Simulator::comeBack(std::size_t index, const Ipv4& newAddress) {
    SimulatedDevice& device = devices_[index];
    if (newAddress != device.address) {
        detach(index, device.address);
        device.address = newAddress;
        std::string error;
        BoundSocket* socket = isUsableUnicast(newAddress) ? attach(newAddress, error) : nullptr;
        if (socket == nullptr) {
            if (error.empty()) error = toDottedText(newAddress) + " is not a usable address";
            device.state = DeviceState::offline;
            std::fprintf(stderr, "tamro-devsim: device %s stays offline: %s\n",
                         macText(device.definition.mac).c_str(), error.c_str());
            trace_.event("offline", macOf(index), error);
            writeState();
            return;
        }
        socket->owners.push_back(index);
    }
    device.state = DeviceState::up;
    trace_.event("back", macOf(index), toDottedText(device.address));
    writeState();
}

void Simulator::writeState() {
    if (options_.statePath.empty()) return;
    std::string error;
    if (!replaceFile(options_.statePath, stateFileText(devices_), error)) {
        std::fprintf(stderr, "tamro-devsim: %s\n", error.c_str());
    }
}

void Simulator::writeReady() {
    if (options_.readyPath.empty()) return;
    std::string error;
    replaceFile(options_.readyPath, std::to_string(::getpid()) + "\n", error);
}

int Simulator::run() {
    // The stop signals are let through only while waiting, so none is lost between checks.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    if (!startUp()) return 1;
    writeState();
    trace_.event("ready", std::nullopt, std::to_string(devices_.size()) + " devices");
    writeReady();

    const auto deadline = start_ + std::chrono::seconds(options_.maxSeconds);
    std::vector<pollfd> polled;
    while (stopSignal == 0) {
        auto now = Clock::now();
        runDueTasks(now);
        if (now >= deadline) {
            std::fprintf(stderr, "tamro-devsim: %d s passed, ending\n", options_.maxSeconds);
            break;
        }
        if (socketsChanged_) {
            polled.clear();
            polled.push_back(pollfd{sharedFd_, POLLIN, 0});
            for (const auto& [key, socket] : sockets_) polled.push_back(pollfd{socket.fd, POLLIN, 0});
            socketsChanged_ = false;
        }
        auto wakeAt = deadline;
        if (!tasks_.empty()) wakeAt = std::min(wakeAt, tasks_.begin()->first.first);
        const auto wait = std::max(Clock::duration::zero(), wakeAt - Clock::now());
        const auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                         static_cast<long>(waitNs % 1'000'000'000)};
        trace_.flush();
        for (pollfd& entry : polled) entry.revents = 0;
        const int ready = ::ppoll(polled.data(), polled.size(), &timeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "tamro-devsim: poll: %s\n", std::strerror(errno));
            break;
        }
        if (ready == 0) continue;
        // Handling may close sockets; take the ready list first.
        std::vector<int> readable;
        for (const pollfd& entry : polled) {
            if ((entry.revents & (POLLIN | POLLERR)) != 0) readable.push_back(entry.fd);
        }
        for (const int fd : readable) {
            const bool shared = fd == sharedFd_;
            const bool stillOpen =
                shared || std::any_of(sockets_.begin(), sockets_.end(),
                                      [fd](const auto& item) { return item.second.fd == fd; });
            if (stillOpen) receiveFrom(fd, shared);
        }
    }
    if (stopSignal != 0) trace_.event("exit", std::nullopt, "signal " + std::to_string(stopSignal));
    else trace_.event("exit", std::nullopt, "time limit");
    writeState();
    trace_.flush();
    return 0;
}

}  // namespace

int runSimulator(const SimulationDefinition& definition, const SimulatorOptions& options) {
    Simulator simulator(definition, options);
    return simulator.run();
}

}  // namespace tamro::devsim
