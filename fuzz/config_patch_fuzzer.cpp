// patchConfiguration on arbitrary fetched blocks and control values: every
// byte the dialog does not own goes back as fetched, the owned ones carry
// only values the device understands, and the result reads back.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "block_bytes.h"
#include "fuzz_input.h"
#include "platform/text.h"
#include "protocol/config_blocks.h"
#include "protocol/vocabulary.h"

using namespace tamro;
using fuzzing::check;

namespace {

bool sameBits(std::uint8_t a, std::uint8_t b, std::uint8_t mask) {
    return (a & mask) == (b & mask);
}

template <std::size_t N>
bool headerIs(const std::array<std::uint8_t, N>& block, std::uint8_t writeFlag,
              std::uint8_t number) {
    return block[0] == 0 && block[1] == writeFlag && block[2] == 0 && block[3] == 0xC0 + number;
}

template <typename Array>
bool contains(const Array& values, std::int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::ByteReader in(std::span(data, size));
    const ConfigurationBlocks fetched = fuzzing::readBlocks(in);
    const fuzzing::PatchArguments a = fuzzing::readPatchArguments(in);
    const WriteControlValues& c = a.controls;

    const PatchResult result = patchConfiguration(fetched, c, a.pendingKeepAlive, a.modelVariant);

    std::int32_t dataBits = 0, parity = 0, stopBits = 0;
    const bool fetchedFormatReadable =
        decodeSerialFormat(fetched.block0[20], dataBits, parity, stopBits) == 0;
    const std::int32_t baudCode = codeFromBaud(decimalValue(c.baudText));
    const bool maskRefused = !c.dhcpChecked && hostBitsFromMask(c.netmask.value()) == -1;

    if (result.error != PatchError::none) {
        check(result.error == PatchError::subnetMask || result.error == PatchError::setting,
              "a known error");
        check((result.error == PatchError::subnetMask) == maskRefused,
              "a mask error exactly for a manual, non-contiguous mask");
        check(maskRefused || !fetchedFormatReadable || baudCode == -1,
              "a setting error only for an unreadable format or a baud without code");
        return 0;
    }
    check(!maskRefused && fetchedFormatReadable && baudCode != -1,
          "no write with a bad mask, format or baud");

    const ConfigurationBlocks& out = result.blocks;
    namespace tb = testing_blocks;
    check(tb::uncontrolledChanges(fetched.block0, out.block0, tb::block0Controlled).empty(),
          "block 0 bytes the dialog does not own kept");
    check(tb::uncontrolledChanges(fetched.block3, out.block3, tb::block3Controlled).empty(),
          "block 3 bytes the dialog does not own kept");
    check(tb::uncontrolledChanges(fetched.block7, out.block7, tb::block7Controlled).empty(),
          "block 7 bytes the dialog does not own kept");

    const auto& f0 = fetched.block0;
    const auto& o0 = out.block0;
    check(headerIs(o0, 1, 0) && headerIs(out.block3, 1, 3) && headerIs(out.block7, 0, 7),
          "write headers");

    // Bytes the dialog owns only in part.
    check((o0[20] & 0x03) == 0, "format bits 0-1 cleared");
    check(sameBits(o0[32], f0[32], 0xF0), "connect mode high nibble kept");
    check(sameBits(o0[38], f0[38], 0x7F), "pack enable byte bits 0-6 kept");
    check(sameBits(o0[39], f0[39], 0xFC), "pack gap byte bits 2-7 kept");
    check(sameBits(out.block3[120], fetched.block3[120], 0x5F), "high-speed byte bits kept");
    check((out.block3[120] & 0x20) == 0, "high-speed byte bit 5 cleared");
    check(((out.block3[120] & 0x80) != 0) == (c.baudPosition >= firstHighSpeedBaudPosition),
          "high-speed flag follows the baud position");

    // Owned bytes: values from the vocabularies, or the fetched ones.
    check(o0[21] == baudCode, "baud code from the baud text");
    check(o0[22] == f0[22] || contains(flowCodes, o0[22]), "flow code known or kept");
    check(o0[33] == 0 || o0[33] == 1, "UDP marker is 0 or 1");
    check((o0[33] == 1) == (c.protocolPosition != 0), "UDP marker follows the protocol");
    check(((o0[32] & 0x0F) == udpConnectNibble) == (o0[33] == 1), "UDP nibble with the marker");
    if (o0[33] == 0) {
        check(contains(connectNibbles, o0[32] & 0x0F), "TCP connect nibble on the list");
    }
    check(o0[11] == static_cast<std::uint8_t>(a.pendingKeepAlive), "keep-alive low byte");
    for (std::int32_t pin = 0; pin < pinCount; ++pin) {
        const auto at = 4 + static_cast<std::size_t>(pin);
        check(out.block7[at] == fetched.block7[at] || pinListPosition(out.block7[at], pin) != -1,
              "pin code allowed on its pin or kept");
    }
    check(out.block7[129] == fetched.block7[129] || out.block7[129] <= 1, "model variant byte");
    if (c.dhcpChecked) {
        check(std::all_of(o0.begin() + 4, o0.begin() + 8, [](auto b) { return b == 0; }) &&
                  std::all_of(o0.begin() + 16, o0.begin() + 20, [](auto b) { return b == 0; }) &&
                  o0[10] == 0,
              "automatic address zeroes address, mask and gateway");
    } else {
        check(o0[10] <= 32, "host bits 0-32");
    }

    // What a write sends, the next read must understand.
    DeviceRecord readBack;
    check(decodeConfiguration(out, Ipv4::fromOctets(10, 0, 0, 1), readBack) == 1,
          "the written blocks decode");
    check(readBack.baudRate == decimalValue(c.baudText), "the written rate reads back");
    return 0;
}
