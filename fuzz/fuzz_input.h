#pragma once

// The byte layouts the fuzz targets read their inputs in, with the writers
// that make the seeds, so that both sides agree on one definition.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/config_blocks.h"

namespace tamro::fuzzing {

// A broken promise is a finding: say which, then crash so libFuzzer keeps the input.
inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Reads fields front to back; past the end every byte reads as zero, so any
// input, however short, is a complete one.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t byte() { return at_ < data_.size() ? data_[at_++] : 0; }
    bool atEnd() const { return at_ >= data_.size(); }

    std::uint16_t uint16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (std::uint16_t{byte()} << 8));
    }

    std::int32_t int32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t{byte()} << (8 * i);
        return static_cast<std::int32_t>(value);
    }

    // A length byte, then that many bytes.
    std::string text() {
        const std::size_t length = byte();
        std::string result;
        for (std::size_t i = 0; i < length && at_ < data_.size(); ++i) {
            result += static_cast<char>(byte());
        }
        return result;
    }

    template <std::size_t N>
    void bytes(std::array<std::uint8_t, N>& out) {
        for (auto& b : out) b = byte();
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

class ByteWriter {
public:
    void byte(std::uint8_t value) { out_.push_back(value); }

    void uint16(std::uint16_t value) {
        byte(static_cast<std::uint8_t>(value));
        byte(static_cast<std::uint8_t>(value >> 8));
    }

    void int32(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i) byte(static_cast<std::uint8_t>(bits >> (8 * i)));
    }

    void text(const std::string& value) {
        const std::size_t length = value.size() < 255 ? value.size() : 255;
        byte(static_cast<std::uint8_t>(length));
        out_.insert(out_.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length));
    }

    void bytes(std::span<const std::uint8_t> in) { out_.insert(out_.end(), in.begin(), in.end()); }

    const std::vector<std::uint8_t>& data() const { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

// Blocks 0, 3 and 7, whole, in that order.
inline ConfigurationBlocks readBlocks(ByteReader& in) {
    ConfigurationBlocks blocks;
    in.bytes(blocks.block0);
    in.bytes(blocks.block3);
    in.bytes(blocks.block7);
    return blocks;
}

inline void writeBlocks(ByteWriter& out, const ConfigurationBlocks& blocks) {
    out.bytes(blocks.block0);
    out.bytes(blocks.block3);
    out.bytes(blocks.block7);
}

// Everything a write takes besides the fetched blocks.
struct PatchArguments {
    WriteControlValues controls;
    std::int32_t pendingKeepAlive = 0;
    std::optional<std::int32_t> modelVariant;
};

namespace detail {
// One list of the control fields, walked by the reader and the writer alike.
template <typename Io, typename Controls, typename Arguments>
void visitPatchArguments(Io& io, Controls& c, Arguments& a) {
    for (auto* address : {&c.ipAddress, &c.netmask, &c.gateway, &c.remoteIp}) {
        for (auto& field : address->fields) io.int32(field);
    }
    io.text(c.portText);
    io.text(c.remotePortText);
    io.text(c.baudText);
    for (auto* position :
         {&c.baudPosition, &c.dataBitsPosition, &c.stopBitsPosition, &c.parityPosition,
          &c.flowPosition, &c.protocolPosition, &c.connectPosition, &c.cp1Position, &c.cp2Position,
          &c.cp3Position, &c.packPosition}) {
        io.int32(*position);
    }
    io.int32(a.pendingKeepAlive);
}
}  // namespace detail

// Layout: flags byte (bit 0 automatic address, bit 1 a model selected),
// the four addresses as 16 int32, the port, remote port and baud texts,
// the eleven list positions, the keep-alive and the model variant.
inline PatchArguments readPatchArguments(ByteReader& in) {
    PatchArguments a;
    const std::uint8_t flags = in.byte();
    a.controls.dhcpChecked = (flags & 1) != 0;
    struct Reader {
        ByteReader& in;
        void int32(std::int32_t& v) { v = in.int32(); }
        void text(std::string& v) { v = in.text(); }
    } reader{in};
    detail::visitPatchArguments(reader, a.controls, a);
    const std::int32_t variant = in.int32();
    if ((flags & 2) != 0) a.modelVariant = variant;
    return a;
}

inline void writePatchArguments(ByteWriter& out, const PatchArguments& a) {
    out.byte(
        static_cast<std::uint8_t>((a.controls.dhcpChecked ? 1 : 0) | (a.modelVariant ? 2 : 0)));
    struct Writer {
        ByteWriter& out;
        void int32(std::int32_t v) { out.int32(v); }
        void text(const std::string& v) { out.text(v); }
    } writer{out};
    detail::visitPatchArguments(writer, a.controls, a);
    out.int32(a.modelVariant.value_or(0));
}

// The datagrams one exchange, and one discovery, may see: for each, a kind
// byte, where it came from, its length and bytes (truncated where the input
// ends).
struct Datagram {
    enum Kind : std::uint8_t {
        fromPeer = 0,       // the device the exchange talks to
        fromOther = 1,      // anyone else on the segment
        errorFromPeer = 2,  // a failed receive that names the peer
        errorFromNone = 3,  // a failed receive without a sender (timeout, ICMP error)
    };
    Kind kind = fromPeer;
    bool storeAtIndex = false;  // the discovery store is asked for `index`
    std::int32_t index = 0;
    Ipv4 sender;  // fromOther only
    std::uint16_t senderPort = 0;
    std::int32_t error = 0;  // the error kinds only
    std::vector<std::uint8_t> bytes;
};

inline Datagram readDatagram(ByteReader& in) {
    Datagram d;
    const std::uint8_t kind = in.byte();
    d.kind = static_cast<Datagram::Kind>(kind & 3);
    d.storeAtIndex = (kind & 4) != 0;
    if (d.storeAtIndex) d.index = in.int32();
    if (d.kind == Datagram::fromOther) in.bytes(d.sender.bytes);
    d.senderPort = in.uint16();
    if (d.kind == Datagram::errorFromPeer || d.kind == Datagram::errorFromNone) {
        d.error = in.int32();
    }
    const std::size_t length = in.uint16() % 1501;
    for (std::size_t i = 0; i < length && !in.atEnd(); ++i) d.bytes.push_back(in.byte());
    return d;
}

inline void writeDatagram(ByteWriter& out, const Datagram& d) {
    out.byte(static_cast<std::uint8_t>(d.kind | (d.storeAtIndex ? 4 : 0)));
    if (d.storeAtIndex) out.int32(d.index);
    if (d.kind == Datagram::fromOther) out.bytes(d.sender.bytes);
    out.uint16(d.senderPort);
    if (d.kind == Datagram::errorFromPeer || d.kind == Datagram::errorFromNone) {
        out.int32(d.error);
    }
    out.uint16(static_cast<std::uint16_t>(d.bytes.size()));
    out.bytes(d.bytes);
}

}  // namespace tamro::fuzzing
