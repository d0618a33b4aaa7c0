#include "devsim/simulator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "devsim/interface_addresses.h"
#include "devsim/trace.h"

namespace tamro::devsim {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signalNumber) { stopSignal = signalNumber; }

constexpr std::array<std::uint8_t, 3> blockNumbers = {0, 3, 7};
constexpr std::array<std::uint8_t, 3> writeFlagBytes = {1, 1, 0};
constexpr std::uint8_t discoveryCommand = 0xF6;
constexpr std::uint8_t assignmentCommand = 0xFC;
constexpr std::size_t assignmentLength = 20;
constexpr std::string_view assignmentTag = "IP-SETUP";
constexpr std::size_t requestLength = 4;
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

bool isUsableUnicast(const Ipv4& address) {
    const auto first = address.bytes[0];
    return first != 0 && first != 127 && first < 224;
}

// Bytes 4, 5 and 7 all zero: the device takes its address automatically.
bool isAutomaticAddress(const Block0& block) {
    return block[4] == 0 && block[5] == 0 && block[7] == 0;
}

std::uint8_t* blockData(ConfigurationBlocks& blocks, std::size_t slot) {
    switch (slot) {
        case 0: return blocks.block0.data();
        case 1: return blocks.block3.data();
        default: return blocks.block7.data();
    }
}

bool isRequest(const std::uint8_t* data, std::size_t length, std::uint8_t command) {
    return length == requestLength && data[0] == 0 && data[1] == 0 && data[2] == 0 &&
           data[3] == command;
}

bool isAssignment(const std::uint8_t* data, std::size_t length) {
    if (length != assignmentLength) return false;
    if (data[0] != 0 || data[1] != 0 || data[2] != 0 || data[3] != assignmentCommand) return false;
    if (std::memcmp(data + 4, assignmentTag.data(), assignmentTag.size()) != 0) return false;
    return data[12] == 0 && data[13] == 0;
}

Ipv4 assignedAddress(const std::uint8_t* data) {
    return Ipv4::fromOctets(data[16], data[17], data[18], data[19]);
}

enum class DeviceState { up, restarting, offline };

std::string_view stateText(DeviceState state) {
    switch (state) {
        case DeviceState::up: return "up";
        case DeviceState::restarting: return "restarting";
        case DeviceState::offline: return "offline";
    }
    return "?";
}

struct Device {
    DeviceDefinition definition;
    Ipv4 address;
    ConfigurationBlocks blocks;
    std::array<bool, 3> writtenSinceRestart{};
    DeviceState state = DeviceState::up;
    // Raised by every restart; work queued before it is then dropped.
    std::uint64_t generation = 0;
    std::int32_t restartMs = defaultRestartMs;
    std::int32_t restarts = 0;
};

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
        : options_(options), start_(Clock::now()), trace_(start_), addresses_(options.interfaceName) {
        const std::int32_t globalRestart =
            options.restartMs.value_or(definition.restartMs.value_or(defaultRestartMs));
        for (const DeviceDefinition& deviceDefinition : definition.devices) {
            Device device;
            device.definition = deviceDefinition;
            device.address = deviceDefinition.address;
            device.blocks = deviceDefinition.blocks;
            device.restartMs = deviceDefinition.restartMs.value_or(globalRestart);
            devices_.push_back(std::move(device));
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
    void handleShared(const Endpoint& from, const Endpoint& to, const std::uint8_t* data,
                      std::size_t length);
    void handleUnicast(BoundSocket& socket, const Endpoint& from, const std::uint8_t* data,
                       std::size_t length);
    std::string handleForDevice(std::size_t index, const Endpoint& from, const std::uint8_t* data,
                                std::size_t length);
    bool assignmentMatches(const Device& device, const std::uint8_t* data, std::size_t length) const;
    void answerDiscovery(std::size_t index, const Endpoint& querier);
    void answerRead(std::size_t index, std::size_t slot, const Endpoint& requester);
    void takeWrite(std::size_t index, std::size_t slot, const Endpoint& requester,
                   const std::uint8_t* data, std::size_t length);
    void takeAssignment(std::size_t index, const std::uint8_t* data);
    void sendInParts(std::size_t index, const Ipv4& from, const Endpoint& to, Bytes payload,
                     const std::vector<std::size_t>& sizes, Clock::time_point due,
                     std::string_view what);

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
    std::vector<Device> devices_;
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
    for (const Device& device : devices_) {
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
            handleShared(from, to, buffer.data(), length);
            continue;
        }
        for (auto& [key, socket] : sockets_) {
            if (socket.fd == fd) {
                handleUnicast(socket, from, buffer.data(), length);
                break;
            }
        }
    }
}

bool Simulator::assignmentMatches(const Device& device, const std::uint8_t* data,
                                  std::size_t length) const {
    return length == assignmentLength && data[14] == device.definition.mac[4] &&
           data[15] == device.definition.mac[5];
}

void Simulator::handleShared(const Endpoint& from, const Endpoint& to, const std::uint8_t* data,
                             std::size_t length) {
    // A broadcast from one of our own devices comes back to us; it is not a request.
    if (isOwnAddress(from.address)) {
        trace_.datagram(false, std::nullopt, from, to, data, length, "ignored: from own device");
        return;
    }
    if (isRequest(data, length, discoveryCommand)) {
        trace_.datagram(false, std::nullopt, from, to, data, length, "discovery");
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            if (devices_[i].state == DeviceState::up) answerDiscovery(i, from);
        }
        return;
    }
    if (isAssignment(data, length)) {
        trace_.datagram(false, std::nullopt, from, to, data, length, "assignment");
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            if (devices_[i].state == DeviceState::up && assignmentMatches(devices_[i], data, length)) {
                takeAssignment(i, data);
            }
        }
        writeState();
        return;
    }
    trace_.datagram(false, std::nullopt, from, to, data, length, "ignored: not a broadcast request");
}

void Simulator::handleUnicast(BoundSocket& socket, const Endpoint& from, const std::uint8_t* data,
                              std::size_t length) {
    const Endpoint to{socket.address, devicePort};
    if (socket.owners.empty()) {
        trace_.datagram(false, std::nullopt, from, to, data, length, "ignored: no device here");
        return;
    }
    // Copied: a restart below may detach the device and invalidate the socket.
    const std::vector<std::size_t> owners = socket.owners;
    for (const std::size_t index : owners) {
        const std::string what = handleForDevice(index, from, data, length);
        trace_.datagram(false, macOf(index), from, to, data, length, what);
    }
}

std::string Simulator::handleForDevice(std::size_t index, const Endpoint& from,
                                       const std::uint8_t* data, std::size_t length) {
    Device& device = devices_[index];
    if (device.state != DeviceState::up) return "ignored: " + std::string(stateText(device.state));
    if (isRequest(data, length, discoveryCommand)) {
        answerDiscovery(index, from);
        return "discovery";
    }
    for (std::size_t slot = 0; slot < blockNumbers.size(); ++slot) {
        const std::string number = std::to_string(blockNumbers[slot]);
        if (isRequest(data, length, static_cast<std::uint8_t>(0xE0 + blockNumbers[slot]))) {
            if (device.definition.faults.silentRead[slot]) return "read " + number + ": not answered";
            answerRead(index, slot, from);
            return "read " + number;
        }
        const bool writeHeader = length >= requestLength && data[0] == 0 &&
                                 data[1] == writeFlagBytes[slot] && data[2] == 0 &&
                                 data[3] == 0xC0 + blockNumbers[slot];
        if (writeHeader) {
            if (length != blockLength(slot)) return "ignored: write " + number + " of wrong length";
            if (device.definition.faults.silentWrite[slot]) return "write " + number + ": not answered";
            takeWrite(index, slot, from, data, length);
            return "write " + number;
        }
    }
    if (isAssignment(data, length)) {
        if (!assignmentMatches(device, data, length)) return "ignored: assignment for another device";
        takeAssignment(index, data);
        writeState();
        return "assignment";
    }
    return "ignored: unknown request";
}

void Simulator::answerDiscovery(std::size_t index, const Endpoint& querier) {
    const Device& device = devices_[index];
    const FaultDefinition& faults = device.definition.faults;
    Bytes reply = device.definition.discoveryReply;
    for (std::size_t extra = 0; extra < faults.discoveryOversize; ++extra) {
        reply.push_back(fillerByte(device.definition.mac, 3, reply.size()));
    }
    const Endpoint to =
        faults.discoveryBroadcastTo ? Endpoint{*faults.discoveryBroadcastTo, devicePort} : querier;
    const Ipv4 from = faults.discoveryFrom.value_or(device.address);
    const auto due = Clock::now() + Milliseconds(faults.discoveryDelayMs);
    const int copies = faults.discoveryTwice ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy) {
        sendInParts(index, from, to, reply, faults.discoverySplit, due, "discovery reply");
    }
}

void Simulator::answerRead(std::size_t index, std::size_t slot, const Endpoint& requester) {
    Device& device = devices_[index];
    const FaultDefinition& faults = device.definition.faults;
    const std::uint8_t* block = blockData(device.blocks, slot);
    Bytes reply(block, block + blockLength(slot));
    for (std::size_t extra = 0; extra < faults.readOversize[slot]; ++extra) {
        reply.push_back(fillerByte(device.definition.mac, slot, reply.size()));
    }
    const std::string what = "block " + std::to_string(blockNumbers[slot]);
    const auto now = Clock::now();
    if (faults.spoofFrom && faults.spoofBlocks[slot]) {
        Task spoof;
        spoof.device = index;
        spoof.generation = device.generation;
        spoof.from = *faults.spoofFrom;
        spoof.to = requester;
        spoof.payload.assign(faults.spoofLength, faults.spoofFill);
        spoof.what = "spoof before " + what;
        schedule(now, std::move(spoof));
    }
    sendInParts(index, faults.replyFrom.value_or(device.address), requester, std::move(reply),
                faults.readSplit[slot], now + Milliseconds(faults.blockDelayMs), what);
}

void Simulator::takeWrite(std::size_t index, std::size_t slot, const Endpoint& requester,
                          const std::uint8_t* data, std::size_t length) {
    Device& device = devices_[index];
    // The device keeps exactly what it was sent, header included, but for
    // the bytes a fault has it keep.
    std::uint8_t* stored = blockData(device.blocks, slot);
    std::vector<std::uint8_t> kept(stored, stored + length);
    std::copy(data, data + length, stored);
    for (const ByteRange& range : device.definition.faults.keepOnWrite) {
        if (range.slot != slot || range.offset + range.length > length) continue;
        std::copy_n(kept.begin() + static_cast<std::ptrdiff_t>(range.offset), range.length,
                    stored + range.offset);
    }
    device.writtenSinceRestart[slot] = true;
    writeState();

    const auto due = Clock::now() + Milliseconds(device.definition.faults.blockDelayMs);
    Task answer;
    answer.device = index;
    answer.generation = device.generation;
    answer.from = device.definition.faults.replyFrom.value_or(device.address);
    answer.to = requester;
    answer.payload.assign(data, data + requestLength);
    answer.what = "write answer " + std::to_string(blockNumbers[slot]);
    schedule(due, std::move(answer));

    const bool complete = blockNumbers[slot] == 7 && device.writtenSinceRestart[0] &&
                          device.writtenSinceRestart[1];
    if (!complete) return;
    // A complete configuration takes effect by a restart, once the last answer is out.
    Task restartTask;
    restartTask.kind = TaskKind::restart;
    restartTask.device = index;
    restartTask.generation = device.generation;
    restartTask.newAddress =
        isAutomaticAddress(device.blocks.block0)
            ? device.address
            : Ipv4::fromOctets(device.blocks.block0[4], device.blocks.block0[5],
                               device.blocks.block0[6], device.blocks.block0[7]);
    schedule(due, std::move(restartTask));
}

void Simulator::takeAssignment(std::size_t index, const std::uint8_t* data) {
    // The device keeps the given address as its own fixed one.
    const Ipv4 address = assignedAddress(data);
    std::copy(address.bytes.begin(), address.bytes.end(), devices_[index].blocks.block0.begin() + 4);
    restart(index, address);
}

void Simulator::sendInParts(std::size_t index, const Ipv4& from, const Endpoint& to, Bytes payload,
                            const std::vector<std::size_t>& sizes, Clock::time_point due,
                            std::string_view what) {
    const Device& device = devices_[index];
    std::vector<Bytes> parts;
    std::size_t position = 0;
    for (const std::size_t size : sizes) {
        if (size != 0 && position >= payload.size()) break;
        const std::size_t take = std::min(size, payload.size() - position);
        parts.emplace_back(payload.begin() + static_cast<std::ptrdiff_t>(position),
                           payload.begin() + static_cast<std::ptrdiff_t>(position + take));
        position += take;
    }
    if (position < payload.size() || parts.empty()) {
        parts.emplace_back(payload.begin() + static_cast<std::ptrdiff_t>(position), payload.end());
    }
    const std::string label =
        parts.size() > 1 ? std::string(what) + " part " : std::string(what);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Task task;
        task.device = index;
        task.generation = device.generation;
        task.from = from;
        task.to = to;
        task.payload = std::move(parts[i]);
        task.what = parts.size() > 1 ? label + std::to_string(i + 1) + "/" + std::to_string(parts.size())
                                     : label;
        schedule(due + Milliseconds(device.definition.faults.splitGapMs) * static_cast<int>(i),
                 std::move(task));
    }
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
    Device& device = devices_[index];
    ++device.generation;
    ++device.restarts;
    device.state = DeviceState::restarting;
    device.writtenSinceRestart = {};
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
    Device& device = devices_[index];
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
    nlohmann::ordered_json root;
    root["devices"] = nlohmann::ordered_json::array();
    for (const Device& device : devices_) {
        nlohmann::ordered_json entry;
        entry["mac"] = macText(device.definition.mac);
        entry["address"] = toDottedText(device.address);
        entry["state"] = stateText(device.state);
        entry["restarts"] = device.restarts;
        entry["block0"] = hexText(device.blocks.block0.data(), device.blocks.block0.size());
        entry["block3"] = hexText(device.blocks.block3.data(), device.blocks.block3.size());
        entry["block7"] = hexText(device.blocks.block7.data(), device.blocks.block7.size());
        root["devices"].push_back(std::move(entry));
    }
    // Written aside and renamed, so a reader never sees half a file.
    const std::string partial = options_.statePath + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << root.dump(1) << '\n';
        if (!out) {
            std::fprintf(stderr, "tamro-devsim: cannot write %s\n", partial.c_str());
            return;
        }
    }
    if (std::rename(partial.c_str(), options_.statePath.c_str()) != 0) {
        std::fprintf(stderr, "tamro-devsim: cannot replace %s: %s\n", options_.statePath.c_str(),
                     std::strerror(errno));
    }
}

void Simulator::writeReady() {
    if (options_.readyPath.empty()) return;
    const std::string partial = options_.readyPath + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << ::getpid() << '\n';
    }
    std::rename(partial.c_str(), options_.readyPath.c_str());
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
