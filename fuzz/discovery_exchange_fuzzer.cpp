// The receiving halves of the protocol on arbitrary datagram sequences: the
// collector that assembles a block reply, and the store that files a
// discovery reply. The socket is played here, as the POSIX one behaves:
// bytes land in the space offered, and a datagram too long for it is an
// EMSGSIZE error that still names its sender. No socket is opened.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/device_table.h"
#include "protocol/exchange.h"

using namespace tamro;
using fuzzing::check;
using fuzzing::Datagram;

namespace {

ReceivedDatagram receive(const Datagram& d, const Ipv4& peer, std::span<std::uint8_t> space) {
    ReceivedDatagram result;
    result.senderPort = d.senderPort;
    switch (d.kind) {
        case Datagram::fromPeer:
            result.senderAddress = peer;
            break;
        case Datagram::fromOther:
            result.senderAddress = d.sender;
            break;
        case Datagram::errorFromPeer:
            result.senderAddress = peer;
            [[fallthrough]];
        case Datagram::errorFromNone:
            result.error = d.error;
            return result;
    }
    std::copy_n(d.bytes.begin(), std::min(d.bytes.size(), space.size()), space.begin());
    if (d.bytes.size() > space.size()) {
        result.error = EMSGSIZE;
    } else {
        result.length = d.bytes.size();
    }
    return result;
}

// One block exchange: datagrams go to the collector until it completes or fails.
class ExchangeCheck {
public:
    ExchangeCheck(const Ipv4& peer, std::size_t replyLength)
        : peer_(peer), reply_(replyLength, 0xA5), collector_(peer, reply_) {
        done_ = collector_.complete();  // the exchange asks for nothing then
    }

    void feed(const Datagram& d) {
        if (done_) return;
        const std::size_t before = collector_.remaining().size();
        check(before == reply_.size() - genuine_.size(), "remaining space is what is not received");
        const ReceivedDatagram datagram = receive(d, peer_, collector_.remaining());
        const ReplyCollector::Step step = collector_.accept(datagram);

        const bool fromPeer = datagram.senderAddress == peer_;
        if (!fromPeer && (datagram.error == 0 || isMessageTooLong(datagram.error))) {
            check(step == ReplyCollector::Step::ignored, "a stranger's datagram is ignored");
            check(collector_.remaining().size() == before, "an ignored datagram counts nothing");
            return;
        }
        if (datagram.error != 0) {
            check(step == ReplyCollector::Step::failed, "a failed receive ends the exchange");
            check(collector_.error() == datagram.error, "the exchange reports the receive's error");
            done_ = true;
            return;
        }
        const auto counted = static_cast<std::ptrdiff_t>(datagram.length);
        genuine_.insert(genuine_.end(), d.bytes.begin(), d.bytes.begin() + counted);
        const bool full = genuine_.size() == reply_.size();
        check(step == (full ? ReplyCollector::Step::complete : ReplyCollector::Step::more),
              "complete exactly when the reply is full");
        check(collector_.complete() == full, "complete() agrees with the step");
        if (full) {
            // Strangers wrote into the free space too, but every byte of a
            // complete reply comes from the peer, in order.
            check(std::equal(reply_.begin(), reply_.end(), genuine_.begin()),
                  "the reply is the peer's bytes in order");
            done_ = true;
        }
    }

private:
    Ipv4 peer_;
    std::vector<std::uint8_t> reply_;
    ReplyCollector collector_;
    std::vector<std::uint8_t> genuine_;
    bool done_ = false;
};

// What a discovery reply at this offset puts in the record: absent bytes are zero.
std::uint8_t replyByte(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

// One discovery: each reply goes to the next free record, as the listener
// files them, and only an accepted type code keeps its place. A model table
// gets the identity each store should write; the two must stay equal.
class DiscoveryCheck {
public:
    DiscoveryCheck() : table_(tables()[0]), model_(tables()[1]) {
        for (std::size_t i = 0; i < table_.devices.size(); ++i) {
            DeviceRecord& r = table_.devices[i];
            r = DeviceRecord{};
            r.configured = 1;
            r.baudRate = 9600;
            r.mac[0] = static_cast<std::uint8_t>(i);
        }
        resetDeviceTable(table_);
        model_ = table_;
    }

    ~DiscoveryCheck() {
        check(table_.devices == model_.devices, "no record changes but the one stored into");
    }

    void feed(const Datagram& d, const Ipv4& peer) {
        const Ipv4 sender = d.kind == Datagram::fromOther ? d.sender : peer;
        if (d.storeAtIndex) {
            store(d, sender, d.index);
        } else if (table_.deviceCount < maxDevices) {
            store(d, sender, table_.deviceCount);
            const auto& r = table_.devices[static_cast<std::size_t>(table_.deviceCount)];
            if (isAcceptedTypeCode(r.typeCode)) ++table_.deviceCount;
        }
        check(table_.deviceCount >= 0 && table_.deviceCount <= maxDevices,
              "device count in bounds");
    }

private:
    // Two tables for the whole run: they are too big to allocate per input.
    static std::array<DeviceTable, 2>& tables() {
        static std::array<DeviceTable, 2> both;
        return both;
    }

    void store(const Datagram& d, const Ipv4& sender, std::int32_t index) {
        const std::int32_t count = table_.deviceCount;
        const std::int32_t result =
            storeDiscoveryReply(table_, index, d.bytes, sender, d.senderPort);
        const bool inTable = index >= 0 && index < maxDevices;
        check(result == (inTable ? 1 : 0), "stored exactly when the index is in the table");
        check(table_.deviceCount == count, "the store leaves the count alone");
        if (!inTable) return;

        DeviceRecord& expected = model_.devices[static_cast<std::size_t>(index)];
        expected.peer = PeerAddress{2, d.senderPort, sender};
        for (std::size_t i = 0; i < expected.mac.size(); ++i) {
            expected.mac[i] = replyByte(d.bytes, 24 + i);
        }
        expected.typeCode = {static_cast<char>(replyByte(d.bytes, 8)),
                             static_cast<char>(replyByte(d.bytes, 9))};
        expected.ipText.fill('\0');
        const std::string text = toDottedText(sender);
        std::copy(text.begin(), text.end(), expected.ipText.begin());
        const DeviceRecord& r = table_.devices[static_cast<std::size_t>(index)];
        check(r == expected, "the store writes sender, MAC (24-29), type code (8-9), address text");
        check(parseDottedText(r.ipText.data()) == sender, "the address text reads back");

        if (isAcceptedTypeCode(r.typeCode)) {
            const auto end = std::find_if(acceptedTypeCodes.begin(), acceptedTypeCodes.end(),
                                          [](const auto& code) { return code[0] == 'q'; });
            check(std::find(acceptedTypeCodes.begin(), end, r.typeCode) != end,
                  "an accepted code is on the list before its end marker");
        }
    }

    DeviceTable& table_;
    DeviceTable& model_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::ByteReader in(std::span(data, size));
    Ipv4 peer;
    in.bytes(peer.bytes);
    const std::size_t replyLength = in.uint16() % 1401;

    ExchangeCheck exchange(peer, replyLength);
    DiscoveryCheck discovery;
    while (!in.atEnd()) {
        const Datagram d = fuzzing::readDatagram(in);
        exchange.feed(d);
        discovery.feed(d, peer);
    }
    return 0;
}
