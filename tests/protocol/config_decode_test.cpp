#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>

#include "block_bytes.h"
#include "protocol/config_blocks.h"
#include "protocol/vocabulary.h"

namespace tamro {
namespace {

using testing_blocks::fillPattern;
using testing_blocks::put;

constexpr Ipv4 discoveredFrom = Ipv4::fromOctets(172, 16, 5, 9);

// Every byte the decode reads; all others must not matter.
const std::set<std::size_t> block0Read = {4,  5,  6,  7,  10, 11, 16, 17, 18, 19, 20, 21,
                                          22, 24, 25, 26, 27, 28, 29, 30, 31, 32, 38, 39};
const std::set<std::size_t> block7Read = {4, 5, 6};

class ConfigDecodeTest : public ::testing::Test {
protected:
    ConfigDecodeTest() {
        fillPattern(blocks.block0, 11);
        fillPattern(blocks.block3, 101);
        fillPattern(blocks.block7, 203);
        put(blocks.block0, 4, {192, 168, 1, 20});
        put(blocks.block0, 10, {8, 60});
        put(blocks.block0, 16, {192, 168, 1, 1});
        put(blocks.block0, 20, {0xD8, 8, 2});  // 7 data bits, odd, 2 stop; 115200; CTS/RTS
        put(blocks.block0, 24, {0x11, 0x27, 0x88, 0x13, 10, 0, 0, 5, 0xA1});
        put(blocks.block0, 38, {0x80, 0xFD});
        put(blocks.block7, 4, {10, 13, 9});

        // Identity and every setting hold values no decode would produce.
        before.peer = {2, 30718, Ipv4::fromOctets(9, 9, 9, 9)};
        before.mac = {1, 2, 3, 4, 5, 6};
        before.ipText = {'x'};
        before.typeCode = {'Q', 'Z'};
        before.configured = 77;
        before.dhcp = 55;
        before.ipAddress = before.netmask = before.gateway = before.remoteIp =
            Ipv4::fromOctets(1, 1, 1, 1);
        before.localPort = before.baudRate = before.dataBits = before.stopBits = before.parity =
            before.flowControl = before.connectMode = before.remotePort = before.cp1Function =
                before.cp2Function = before.cp3Function = before.protocol = before.keepAlive =
                    before.packControl = -99;
    }

    DeviceRecord decodeOk() {
        DeviceRecord record = before;
        EXPECT_EQ(decodeConfiguration(blocks, discoveredFrom, record), 1);
        return record;
    }

    ConfigurationBlocks blocks;
    DeviceRecord before;
};

TEST(BlockReadRequest, IsThreeZerosThenE0PlusBlockNumber) {
    EXPECT_EQ(blockReadRequest(0), (std::array<std::uint8_t, 4>{0, 0, 0, 0xE0}));
    EXPECT_EQ(blockReadRequest(3), (std::array<std::uint8_t, 4>{0, 0, 0, 0xE3}));
    EXPECT_EQ(blockReadRequest(7), (std::array<std::uint8_t, 4>{0, 0, 0, 0xE7}));
}

TEST_F(ConfigDecodeTest, FillsEverySettingAndLeavesIdentityAlone) {
    DeviceRecord expected = before;
    expected.dhcp = 0;
    expected.ipAddress = Ipv4::fromOctets(192, 168, 1, 20);
    expected.netmask = Ipv4::fromOctets(255, 255, 255, 0);
    expected.gateway = Ipv4::fromOctets(192, 168, 1, 1);
    expected.localPort = 10001;
    expected.baudRate = 115200;
    expected.dataBits = 7;
    expected.stopBits = 2;
    expected.parity = 1;
    expected.flowControl = 2;
    expected.connectMode = 0xA1;
    expected.remoteIp = Ipv4::fromOctets(10, 0, 0, 5);
    expected.remotePort = 5000;
    expected.cp1Function = 10;
    expected.cp2Function = 13;
    expected.cp3Function = 9;
    expected.protocol = 0;
    expected.keepAlive = 60;
    expected.packControl = 2;
    EXPECT_EQ(decodeOk(), expected);
}

TEST_F(ConfigDecodeTest, BytesOutsideTheLayoutDoNotMatter) {
    const DeviceRecord reference = decodeOk();
    const auto flipEach = [&](auto& block, const std::set<std::size_t>& read, const char* name) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (read.count(i) != 0) continue;
            block[i] ^= 0xFF;
            DeviceRecord record = before;
            EXPECT_EQ(decodeConfiguration(blocks, discoveredFrom, record), 1) << name << " " << i;
            EXPECT_EQ(record, reference) << name << " byte " << i;
            block[i] ^= 0xFF;
        }
    };
    flipEach(blocks.block0, block0Read, "block0");
    flipEach(blocks.block3, {}, "block3");
    flipEach(blocks.block7, block7Read, "block7");
}

struct AutomaticCase {
    Ipv4 answeredFrom;
    Ipv4 netmask;
};

class AutomaticAddressMask : public ConfigDecodeTest,
                             public ::testing::WithParamInterface<AutomaticCase> {};

TEST_P(AutomaticAddressMask, TakesDiscoveryAddressAndItsClassMask) {
    put(blocks.block0, 4, {0, 0, 0, 0});
    put(blocks.block0, 10, {17});
    put(blocks.block0, 16, {10, 20, 30, 40});
    DeviceRecord record = before;
    ASSERT_EQ(decodeConfiguration(blocks, GetParam().answeredFrom, record), 1);
    EXPECT_EQ(record.dhcp, 1);
    EXPECT_EQ(record.ipAddress, GetParam().answeredFrom);
    EXPECT_EQ(record.netmask, GetParam().netmask);
    EXPECT_EQ(record.gateway, Ipv4{});
}

INSTANTIATE_TEST_SUITE_P(
    ClassBoundaries, AutomaticAddressMask,
    ::testing::Values(
        AutomaticCase{Ipv4::fromOctets(172, 16, 5, 9), Ipv4::fromOctets(255, 255, 0, 0)},
        AutomaticCase{Ipv4::fromOctets(0, 1, 2, 3), Ipv4::fromOctets(255, 0, 0, 0)},
        AutomaticCase{Ipv4::fromOctets(127, 0, 0, 1), Ipv4::fromOctets(255, 0, 0, 0)},
        AutomaticCase{Ipv4::fromOctets(128, 0, 0, 1), Ipv4::fromOctets(255, 255, 0, 0)},
        AutomaticCase{Ipv4::fromOctets(191, 2, 3, 4), Ipv4::fromOctets(255, 255, 0, 0)},
        AutomaticCase{Ipv4::fromOctets(192, 168, 0, 7), Ipv4::fromOctets(255, 255, 255, 0)},
        AutomaticCase{Ipv4::fromOctets(224, 1, 1, 1), Ipv4::fromOctets(255, 255, 255, 0)},
        AutomaticCase{Ipv4::fromOctets(255, 1, 1, 1), Ipv4::fromOctets(255, 255, 255, 0)}));

TEST_F(ConfigDecodeTest, AutomaticTestIgnoresByteSixOnly) {
    put(blocks.block0, 4, {0, 0, 9, 0});
    EXPECT_EQ(decodeOk().dhcp, 1);

    for (const std::size_t offset : {4, 5, 7}) {
        put(blocks.block0, 4, {0, 0, 0, 0});
        blocks.block0[offset] = 1;
        const DeviceRecord record = decodeOk();
        EXPECT_EQ(record.dhcp, 0) << offset;
        EXPECT_EQ(record.ipAddress.bytes[offset - 4], 1) << offset;
        EXPECT_EQ(record.netmask, Ipv4::fromOctets(255, 255, 255, 0)) << offset;
        EXPECT_EQ(record.gateway, Ipv4::fromOctets(192, 168, 1, 1)) << offset;
    }
}

TEST_F(ConfigDecodeTest, ManualMaskComesFromHostBitCount) {
    const std::pair<int, Ipv4> cases[] = {{8, Ipv4::fromOctets(255, 255, 255, 0)},
                                          {0, Ipv4::fromOctets(255, 255, 255, 255)},
                                          {9, Ipv4::fromOctets(255, 255, 254, 0)},
                                          {32, Ipv4::fromOctets(0, 0, 0, 0)},
                                          {200, Ipv4::fromOctets(0, 0, 0, 0)}};
    for (const auto& [hostBits, mask] : cases) {
        blocks.block0[10] = static_cast<std::uint8_t>(hostBits);
        const DeviceRecord record = decodeOk();
        EXPECT_EQ(record.dhcp, 0);
        EXPECT_EQ(record.netmask, mask) << hostBits;
    }
}

TEST_F(ConfigDecodeTest, PortsAreLittleEndian) {
    put(blocks.block0, 24, {0x10, 0x27, 0xFF, 0xFF});
    EXPECT_EQ(decodeOk().localPort, 10000);
    EXPECT_EQ(decodeOk().remotePort, 65535);
}

TEST_F(ConfigDecodeTest, ProtocolNeedsBothUdpBitsAndConnectModeIsWholeByte) {
    const std::pair<int, int> cases[] = {{0x0C, 1}, {0x05, 0}, {0x1C, 1}, {0x08, 0},
                                         {0x04, 0}, {0xFF, 1}, {0xF3, 0}};
    for (const auto& [byte, protocol] : cases) {
        blocks.block0[32] = static_cast<std::uint8_t>(byte);
        const DeviceRecord record = decodeOk();
        EXPECT_EQ(record.protocol, protocol) << byte;
        EXPECT_EQ(record.connectMode, byte);
    }
    blocks.block0[32] = 0x0C;
    EXPECT_EQ(connectListPosition(decodeOk().connectMode & 0x0F), 0);
    blocks.block0[32] = 0x05;
    EXPECT_EQ(connectListPosition(decodeOk().connectMode & 0x0F), 2);
}

TEST_F(ConfigDecodeTest, PackControlIsGapCodePlusOneWhenEnabled) {
    const std::array<std::array<int, 3>, 6> cases = {{
        {0x80, 0x02, 3},
        {0x7F, 0xFF, 0},
        {0x00, 0x03, 0},
        {0x80, 0x00, 1},
        {0xFF, 0xFF, 4},
        {0x80, 0xFC, 1},
    }};
    for (const auto& [enable, gap, pack] : cases) {
        put(blocks.block0, 38, {enable, gap});
        EXPECT_EQ(decodeOk().packControl, pack) << enable << "/" << gap;
    }
}

TEST_F(ConfigDecodeTest, PinCodesAboveThirteenBecomeGeneralPurposeIn) {
    put(blocks.block7, 4, {14, 255, 13});
    DeviceRecord record = decodeOk();
    EXPECT_EQ(record.cp1Function, 4);
    EXPECT_EQ(record.cp2Function, 6);
    EXPECT_EQ(record.cp3Function, 13);

    // A code that exists but is not allowed on the pin is kept as it is.
    put(blocks.block7, 4, {1, 0, 14});
    record = decodeOk();
    EXPECT_EQ(record.cp1Function, 1);
    EXPECT_EQ(record.cp2Function, 0);
    EXPECT_EQ(record.cp3Function, 8);
}

TEST_F(ConfigDecodeTest, SingleByteFieldsAreTakenWhole) {
    put(blocks.block0, 10, {8, 255});
    blocks.block0[22] = 0xFE;
    const DeviceRecord record = decodeOk();
    EXPECT_EQ(record.keepAlive, 255);
    EXPECT_EQ(record.flowControl, 254);
}

struct FailureCase {
    int formatByte;
    int baudCode;
};

class DecodeFailure : public ConfigDecodeTest, public ::testing::WithParamInterface<FailureCase> {};

// A failing read writes the address fields and nothing else.
TEST_P(DecodeFailure, WritesOnlyTheAddressFields) {
    blocks.block0[20] = static_cast<std::uint8_t>(GetParam().formatByte);
    blocks.block0[21] = static_cast<std::uint8_t>(GetParam().baudCode);

    DeviceRecord record = before;
    EXPECT_EQ(decodeConfiguration(blocks, discoveredFrom, record), 0);
    DeviceRecord expected = before;
    expected.dhcp = 0;
    expected.ipAddress = Ipv4::fromOctets(192, 168, 1, 20);
    expected.netmask = Ipv4::fromOctets(255, 255, 255, 0);
    expected.gateway = Ipv4::fromOctets(192, 168, 1, 1);
    EXPECT_EQ(record, expected);

    put(blocks.block0, 4, {0, 0, 0, 0});
    record = before;
    EXPECT_EQ(decodeConfiguration(blocks, discoveredFrom, record), 0);
    expected.dhcp = 1;
    expected.ipAddress = discoveredFrom;
    expected.netmask = Ipv4::fromOctets(255, 255, 0, 0);
    expected.gateway = Ipv4{};
    EXPECT_EQ(record, expected);
}

INSTANTIATE_TEST_SUITE_P(BadBaudOrFormat, DecodeFailure,
                         ::testing::Values(FailureCase{0x4C, 13}, FailureCase{0x4C, 255},
                                           FailureCase{0x0C, 2}, FailureCase{0x8C, 2},
                                           FailureCase{0x44, 2}, FailureCase{0x6C, 2},
                                           FailureCase{0x0C, 13}));

}  // namespace
}  // namespace tamro
