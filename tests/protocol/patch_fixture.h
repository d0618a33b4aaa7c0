#pragma once

#include "block_bytes.h"
#include "protocol/config_blocks.h"

namespace tamro::testing_blocks {

// Fetched blocks for the write tests: the pattern, with a readable serial
// format (7, even, 1) and baud code (9600) and known partly-owned bytes.
inline ConfigurationBlocks patchTestBlocks() {
    ConfigurationBlocks fetched;
    fillPattern(fetched.block0, 11);
    fillPattern(fetched.block3, 101);
    fillPattern(fetched.block7, 203);
    put(fetched.block0, 20, {0x78, 2});
    put(fetched.block0, 32, {0x3C});
    put(fetched.block0, 38, {0x00, 0xF0});
    fetched.block3[120] = 0xFF;
    fetched.block7[129] = 0x5A;
    return fetched;
}

// A dialog with every control holding a usable value.
inline WriteControlValues patchTestControls() {
    WriteControlValues controls;
    controls.ipAddress = AddressFields{{192, 168, 10, 50}};
    controls.netmask = AddressFields{{255, 255, 255, 0}};
    controls.gateway = AddressFields{{192, 168, 10, 1}};
    controls.remoteIp = AddressFields{{192, 168, 10, 9}};
    controls.portText = "10001";
    controls.remotePortText = "5000";
    controls.baudText = "115200";
    controls.baudPosition = 9;
    controls.dataBitsPosition = 1;
    controls.stopBitsPosition = 0;
    controls.parityPosition = 0;
    controls.flowPosition = 2;
    controls.protocolPosition = 0;
    controls.connectPosition = 2;
    controls.cp1Position = 3;
    controls.cp2Position = 4;
    controls.cp3Position = 6;
    controls.packPosition = 3;
    return controls;
}

}  // namespace tamro::testing_blocks
