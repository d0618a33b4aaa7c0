// decodeConfiguration on arbitrary blocks: what it fills in stays inside the
// vocabularies, and a refused block leaves the settings alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_input.h"
#include "protocol/config_blocks.h"
#include "protocol/vocabulary.h"

using namespace tamro;
using fuzzing::check;

namespace {

// Values decodeConfiguration can never produce, so that any field it
// writes or leaves alone shows.
DeviceRecord sentinelRecord() {
    DeviceRecord r;
    r.peer = PeerAddress{2, 30718, Ipv4::fromOctets(10, 1, 2, 3)};
    r.mac = {2, 0, 0, 0, 0x12, 0x34};
    r.ipText = {'1', '0', '.', '1', '.', '2', '.', '3'};
    r.typeCode = {'X', '1'};
    r.configured = 7;
    r.dhcp = r.localPort = r.baudRate = r.dataBits = r.stopBits = r.parity = -77;
    r.flowControl = r.connectMode = r.remotePort = r.protocol = -77;
    r.cp1Function = r.cp2Function = r.cp3Function = r.keepAlive = r.packControl = -77;
    r.ipAddress = r.netmask = r.gateway = r.remoteIp = Ipv4::fromOctets(1, 2, 3, 4);
    return r;
}

bool inByte(std::int32_t v) { return v >= 0 && v <= 255; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::ByteReader in(std::span(data, size));
    Ipv4 answeredFrom;
    in.bytes(answeredFrom.bytes);
    const ConfigurationBlocks blocks = fuzzing::readBlocks(in);

    const DeviceRecord before = sentinelRecord();
    DeviceRecord r = before;
    const std::int32_t result = decodeConfiguration(blocks, answeredFrom, r);
    check(result == 0 || result == 1, "result is 0 or 1");

    // The identity is discovery's; a configuration read never touches it.
    check(r.peer == before.peer && r.mac == before.mac && r.ipText == before.ipText &&
              r.typeCode == before.typeCode && r.configured == before.configured,
          "identity fields untouched");

    // The address part is written whatever follows.
    check(r.dhcp == 0 || r.dhcp == 1, "dhcp is 0 or 1");
    check(hostBitsFromMask(r.netmask) != -1, "netmask is contiguous");
    if (r.dhcp == 1) {
        check(r.ipAddress == answeredFrom, "automatic address is the answering one");
        check(r.gateway == Ipv4{}, "automatic address has no gateway");
    }

    if (result == 0) {
        DeviceRecord expected = before;
        expected.dhcp = r.dhcp;
        expected.ipAddress = r.ipAddress;
        expected.netmask = r.netmask;
        expected.gateway = r.gateway;
        check(r == expected, "a refused block leaves the settings untouched");
        std::int32_t d = 0, p = 0, s = 0;
        check(baudFromCode(blocks.block0[21]) == -1 ||
                  decodeSerialFormat(blocks.block0[20], d, p, s) == -1,
              "refused only for a bad baud code or format byte");
        return 0;
    }

    check(std::find(baudByCode.begin(), baudByCode.end(), r.baudRate) != baudByCode.end(),
          "baud rate has a device code");
    check(baudListPosition(r.baudRate) != -1, "baud rate on the list");
    check(dataBitsListPosition(r.dataBits) != -1, "data bits on the list");
    check(parityListPosition(r.parity) != -1, "parity on the list");
    check(stopBitsListPosition(r.stopBits) != -1, "stop bits on the list");
    check(r.localPort >= 0 && r.localPort <= 65535, "local port is 16 bits");
    check(r.remotePort >= 0 && r.remotePort <= 65535, "remote port is 16 bits");
    check(inByte(r.flowControl) && inByte(r.connectMode) && inByte(r.keepAlive),
          "byte fields within a byte");
    check(r.protocol == 0 || r.protocol == 1, "protocol is TCP or UDP");
    check(r.protocol == ((r.connectMode & udpConnectNibble) == udpConnectNibble ? 1 : 0),
          "protocol follows the connect mode");
    check(protocolListPosition(r.protocol) != -1, "protocol on the list");
    check(r.packControl >= 0 && r.packControl < static_cast<std::int32_t>(packTexts.size()),
          "pack control on the list");
    check(packListPosition(r.packControl) != -1, "pack control has a list position");
    for (const std::int32_t code : {r.cp1Function, r.cp2Function, r.cp3Function}) {
        check(code >= 0 && code < static_cast<std::int32_t>(pinFunctionNames.size()),
              "pin function has a name");
    }
    return 0;
}
