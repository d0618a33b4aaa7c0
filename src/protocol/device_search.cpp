#include "protocol/device_search.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <thread>

#include "hostnet/subnet.h"
#include "platform/descriptor_limit.h"
#include "protocol/address_conflicts.h"
#include "protocol/device_configuration.h"
#include "protocol/exchange.h"
#include "protocol/config_blocks.h"

namespace tamro {

namespace {

using Clock = std::chrono::steady_clock;

// At most this many devices are read at once: with discovery's two sockets
// the wait stays well inside what every platform's socket wait can watch.
inline constexpr std::size_t maxReadsInFlight = 256;
static_assert(maxReadsInFlight + 2 <= maxWaitSockets);

// How long reads that cannot get a descriptor wait for one when nothing of
// the search itself holds any to give back.
inline constexpr std::chrono::milliseconds starvedRetry{50};
inline constexpr std::chrono::milliseconds starvedPatience{2000};

// One device's read: blocks 0, 3 and 7 in order, each its own exchange on a
// fresh socket, exactly as fetchConfiguration does one after the other.
// A read that finds no descriptor free is `starved`: it keeps its place and
// goes on from the same block once another socket has closed.
class BlockReader {
public:
    enum class State { waiting, running, starved, done, failed };

    BlockReader() = default;
    // The collector points into blocks_: a reader never moves.
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    void prepare(const Ipv4& peer) {
        peer_ = peer;
        state_ = State::waiting;
    }

    void start(Clock::time_point now) {
        state_ = State::running;
        step_ = 0;
        beginExchange(now);
    }

    void resume(Clock::time_point now) {
        state_ = State::running;
        beginExchange(now);
    }

    State state() const { return state_; }
    const ConfigurationBlocks& blocks() const { return blocks_; }
    // The block being fetched when the read failed.
    std::uint8_t failedBlock() const {
        return configurationBlockNumbers[std::min(step_, configurationBlockNumbers.size() - 1)];
    }
    UdpSocket* socket() { return state_ == State::running ? &socket_ : nullptr; }
    Clock::time_point deadline() const { return deadline_; }

    // The socket has a datagram waiting.
    void receive(Clock::time_point now) {
        switch (collector_.accept(socket_.receiveFrom(collector_.remaining()))) {
            case ReplyCollector::Step::failed: finish(State::failed); break;
            case ReplyCollector::Step::ignored: break;
            case ReplyCollector::Step::more: deadline_ = now + receiveTimeout; break;
            case ReplyCollector::Step::complete:
                if (++step_ == configurationBlockNumbers.size()) {
                    finish(State::done);
                } else {
                    beginExchange(now);
                }
                break;
        }
    }

    void expireAt(Clock::time_point now) {
        if (state_ == State::running && now >= deadline_) finish(State::failed);
    }

    void fail() { finish(State::failed); }

private:
    void beginExchange(Clock::time_point now) {
        const auto request = blockReadRequest(configurationBlockNumbers[step_]);
        if (const SocketError opened = socket_.open(); opened != 0) {
            return finish(isOutOfDescriptors(opened) ? State::starved : State::failed);
        }
        socket_.enableBroadcast();
        socket_.setReceiveTimeout(receiveTimeout);
        if (socket_.sendTo(peer_, devicePort, request) != 0) return finish(State::failed);
        collector_ = ReplyCollector(peer_, blockBytes(blocks_, step_));
        deadline_ = now + receiveTimeout;
    }

    void finish(State state) {
        state_ = state;
        socket_.close();
    }

    Ipv4 peer_;
    State state_ = State::waiting;
    std::size_t step_ = 0;
    UdpSocket socket_;
    ReplyCollector collector_{Ipv4{}, {}};
    Clock::time_point deadline_{};
    ConfigurationBlocks blocks_{};
};

// One reader per accepted reply, in reply order.
struct ReadSet {
    std::array<BlockReader, maxDevices> readers;
    std::size_t count = 0;

    BlockReader& operator[](std::size_t index) { return readers[index]; }
    const BlockReader* begin() const { return readers.data(); }
    const BlockReader* end() const { return readers.data() + count; }
};

std::chrono::milliseconds until(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) return std::chrono::milliseconds{0};
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
}

// True when an earlier reply than record `index` came from the same address
// with another MAC. Every such earlier device is then no longer read.
bool sharesWithEarlier(const DeviceTable& table, std::int32_t index) {
    const DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
    for (std::int32_t i = 0; i < index; ++i) {
        const DeviceRecord& other = table.devices[static_cast<std::size_t>(i)];
        if (other.peer.address == record.peer.address && other.mac != record.mac) return true;
    }
    return false;
}

// Discovery and the reads of the devices it finds, in one loop over every
// socket: a device on the subnet is read as soon as its reply is accepted,
// while discovery goes on listening. Devices that answer from one address
// are not read: a read by that address reaches whichever answers. Reads
// start as long as descriptors are to be had; one that finds none waits
// for another read to end. Returns -1 when discovery fails, else the
// number of replies, with reads[k] holding how record k's read ended
// (records in discovery's order; nothing of the reads is stored yet).
std::int32_t discoverAndRead(DeviceTable& table, const SearchAdapter& adapter,
                             ReadSet& reads, SearchProgress& progress,
                             const SearchObserver& observer) {
    resetDeviceTable(table);
    DiscoveryListener listener;
    if (!listener.open(adapter.address, adapter.interfaceName)) return -1;
    listener.sendQuery();

    auto report = [&] {
        if (observer.onProgress) observer.onProgress(progress);
    };
    bool discovering = true;
    auto discoveryDeadline = Clock::now() + discoveryWait;
    std::size_t nextToStart = 0;  // reads before it have been started (or are not reads)
    std::vector<std::size_t> running;
    running.reserve(maxReadsInFlight);
    std::deque<std::size_t> starved;  // in the order they ran out
    // Set when a read ran out of descriptors; cleared when one is given back.
    bool descriptorsExhausted = false;
    Clock::time_point starvedSince{};  // since no read could get one; zero while they can
    std::array<UdpSocket*, maxWaitSockets> sockets{};
    std::array<std::uint8_t, maxWaitSockets> readable{};

    // Runs the read's next exchange; false when it found no descriptor.
    const auto launch = [&](std::size_t index, Clock::time_point now, bool first) {
        BlockReader& read = reads[index];
        if (first) {
            read.start(now);
            ++progress.readsStarted;
        } else {
            read.resume(now);
        }
        switch (read.state()) {
            case BlockReader::State::running:
                running.push_back(index);
                starvedSince = {};
                return true;
            case BlockReader::State::starved:
                if (starvedSince == Clock::time_point{}) starvedSince = now;
                descriptorsExhausted = true;
                starved.push_back(index);
                return false;
            default: ++progress.readsDone; return true;
        }
    };

    for (;;) {
        auto now = Clock::now();
        bool started = false;
        while (!descriptorsExhausted && running.size() < maxReadsInFlight) {
            // Reads that were held up go first, so every read ends in time.
            if (!starved.empty()) {
                const std::size_t index = starved.front();
                starved.pop_front();
                if (reads[index].state() != BlockReader::State::starved) continue;
                launch(index, now, false);
            } else if (nextToStart < reads.count) {
                const std::size_t index = nextToStart++;
                if (reads[index].state() != BlockReader::State::waiting) continue;
                launch(index, now, true);
                started = true;
            } else {
                break;
            }
        }
        if (started) report();
        if (!discovering && running.empty()) {
            if (starved.empty() && nextToStart == reads.count) break;
            // Nothing of ours is left to close: descriptors can come back
            // only from elsewhere in the process. Wait a little for them.
            if (starvedSince != Clock::time_point{} && now - starvedSince >= starvedPatience) {
                for (const std::size_t index : starved) {
                    if (reads[index].state() != BlockReader::State::starved) continue;
                    reads[index].fail();
                    ++progress.readsDone;
                }
                starved.clear();
                for (; nextToStart < reads.count; ++nextToStart) {
                    if (reads[nextToStart].state() == BlockReader::State::waiting) {
                        reads[nextToStart].fail();
                    }
                }
                report();
                continue;
            }
            std::this_thread::sleep_for(starvedRetry);
            descriptorsExhausted = false;
            continue;
        }

        std::size_t watched = 0;
        Clock::time_point wake = Clock::time_point::max();
        const std::size_t listening = discovering ? listener.sockets().size() : 0;
        for (std::size_t i = 0; i < listening; ++i) sockets[watched++] = listener.sockets()[i];
        if (discovering) wake = discoveryDeadline;
        for (const std::size_t index : running) {
            sockets[watched++] = reads[index].socket();
            wake = std::min(wake, reads[index].deadline());
        }
        const WaitResult result = waitReadableSet(std::span(sockets).first(watched), until(wake, now),
                                                  std::span(readable).first(watched));
        now = Clock::now();
        if (result == WaitResult::failed) {
            if (discovering) return -1;
            for (const std::size_t index : running) reads[index].fail();
        }

        if (result == WaitResult::ready && discovering) {
            // One datagram per wait, as discovery alone takes them.
            for (std::size_t i = 0; i < listening; ++i) {
                if (!readable[i]) continue;
                discoveryDeadline = now + discoveryWait;
                const std::int32_t index = table.deviceCount;
                if (listener.receive(i, table, index)) {
                    ++table.deviceCount;
                    ++progress.replies;
                    const DeviceRecord& record = table.devices[static_cast<std::size_t>(index)];
                    BlockReader& read = reads[reads.count++];
                    if (sharesWithEarlier(table, index)) {
                        read.fail();
                        for (std::int32_t k = 0; k < index; ++k) {
                            const auto earlier = static_cast<std::size_t>(k);
                            if (table.devices[earlier].peer.address != record.peer.address) continue;
                            // A running read is counted when it leaves `running`.
                            if (reads[earlier].state() == BlockReader::State::starved) ++progress.readsDone;
                            if (reads[earlier].state() == BlockReader::State::running ||
                                reads[earlier].state() == BlockReader::State::starved ||
                                reads[earlier].state() == BlockReader::State::waiting) {
                                reads[earlier].fail();
                            }
                        }
                    } else if (sameSubnet(adapter.address, adapter.mask, record.peer.address) == 1) {
                        read.prepare(record.peer.address);
                    } else {
                        read.fail();  // off the subnet: never read, never counted as a read
                    }
                    report();
                    if (table.deviceCount >= maxDevices) discovering = false;
                }
                break;
            }
        } else if (discovering && now >= discoveryDeadline) {
            discovering = false;
        }

        for (std::size_t slot = 0; slot < running.size(); ++slot) {
            BlockReader& read = reads[running[slot]];
            if (read.state() != BlockReader::State::running) continue;
            if (result == WaitResult::ready && readable[listening + slot]) read.receive(now);
            read.expireAt(now);
        }
        std::size_t ended = 0;
        std::erase_if(running, [&](std::size_t index) {
            switch (reads[index].state()) {
                case BlockReader::State::running: return false;
                case BlockReader::State::starved:
                    // Its socket closed before the next would open: no
                    // descriptor to spare just now.
                    if (starvedSince == Clock::time_point{}) starvedSince = now;
                    descriptorsExhausted = true;
                    starved.push_back(index);
                    return true;
                default: ++ended; return true;
            }
        });
        if (ended > 0) {
            // Each ended read closed its socket: room for a waiting one.
            descriptorsExhausted = false;
            progress.readsDone += static_cast<std::int32_t>(ended);
            report();
        }
        if (!discovering && listener.sockets()[0]->isOpen()) {
            listener.close();
            descriptorsExhausted = false;
        }
    }
    return table.deviceCount;
}

}  // namespace

std::int32_t searchDevices(DeviceTable& table, const SearchAdapter& adapter,
                           const SearchObserver& observer) {
    const auto reads = std::make_unique<ReadSet>();
    SearchProgress progress;
    std::int32_t count = discoverAndRead(table, adapter, *reads, progress, observer);
    progress.finished = true;
    if (observer.onProgress) observer.onProgress(progress);
    if (count < 0) return -1;

    // The reads are stored and the failed ones dropped in reply order, so the
    // table ends exactly as reading one device after the other leaves it.
    // Devices sharing an address are listed unread, as if off the subnet:
    // only an assignment by MAC reaches the one meant.
    std::vector<bool> shared(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) {
        shared[static_cast<std::size_t>(k)] = !devicesSharingAddress(table, count, k).empty();
    }
    std::int32_t position = 0;
    for (std::size_t k = 0; k < reads->count; ++k) {
        const BlockReader& read = (*reads)[k];
        DeviceRecord& record = table.devices[static_cast<std::size_t>(position)];
        record.configured =
            shared[k] ? 0 : sameSubnet(adapter.address, adapter.mask, record.peer.address);
        if (record.configured != 1) {
            ++position;
            continue;
        }
        const bool fetched = read.state() == BlockReader::State::done;
        if (storeConfiguration(record, read.blocks(), fetched) == 0) {
            if (observer.dropped) {
                // Only block 0's baud code and serial format can fail to decode.
                observer.dropped->push_back(
                    {record.mac, record.peer.address,
                     fetched ? std::string("block 0 cannot be decoded")
                             : "no answer to block " + std::to_string(read.failedBlock())});
            }
            dropDeviceInPlace(table, position);
            --count;
            continue;
        }
        ++position;
    }
    return count;
}

std::string deviceListEntry(const DeviceRecord& record) {
    std::string ip(record.ipText.data(), record.ipText.size());
    ip.resize(ip.find('\0') == std::string::npos ? ip.size() : ip.find('\0'));
    return macText(record.mac) + " / " + ip;
}

}  // namespace tamro
