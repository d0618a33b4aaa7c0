#include "protocol/vocabulary.h"

#include <gtest/gtest.h>

#include <string>

namespace tamro {
namespace {

TEST(BaudCodec, CodeToRateFollowsTheDeviceTable) {
    const std::int32_t expected[] = {38400, 19200, 9600,   4800,   2400,   1200,  600,
                                     300,   115200, 57600, 230400, 460800, 921600};
    for (std::uint32_t code = 0; code < 13; ++code) {
        EXPECT_EQ(baudFromCode(code), expected[code]) << "code " << code;
        EXPECT_EQ(codeFromBaud(expected[code]), static_cast<std::int32_t>(code));
    }
    EXPECT_EQ(baudFromCode(13), -1);
    EXPECT_EQ(baudFromCode(255), -1);
    EXPECT_EQ(baudFromCode(static_cast<std::uint32_t>(-1)), -1);
}

TEST(BaudCodec, OnlyExactRatesHaveACode) {
    EXPECT_EQ(codeFromBaud(300), 7);
    EXPECT_EQ(codeFromBaud(460800), 11);
    EXPECT_EQ(codeFromBaud(0), -1);
    EXPECT_EQ(codeFromBaud(14400), -1);
    EXPECT_EQ(codeFromBaud(-1), -1);
}

TEST(BaudList, PositionsAscendAndMatchTheDeviceCodes) {
    // Position of each device code, as the list shows it.
    const std::int32_t positionByCode[] = {7, 6, 5, 4, 3, 2, 1, 0, 9, 8, 10, 11, 12};
    for (std::uint32_t code = 0; code < 13; ++code) {
        EXPECT_EQ(baudListPosition(baudFromCode(code)), positionByCode[code]);
    }
    for (std::int32_t position = 1; position < 13; ++position) {
        EXPECT_GT(baudAtListPosition(position), baudAtListPosition(position - 1));
        EXPECT_EQ(std::to_string(baudAtListPosition(position)),
                  std::string(baudTexts[static_cast<std::size_t>(position)]));
    }
    EXPECT_EQ(baudAtListPosition(-1), -1);
    EXPECT_EQ(baudAtListPosition(13), -1);
    EXPECT_EQ(baudListPosition(14400), -1);
    EXPECT_EQ(firstHighSpeedBaudPosition, baudListPosition(460800));
}

TEST(SerialFormat, DecodesValidBytesAndIgnoresTheLowBits) {
    struct Case { std::uint32_t byte; std::int32_t dataBits, parity, stopBits; };
    const Case cases[] = {{0x4C, 8, 0, 1}, {0x4F, 8, 0, 1}, {0xF8, 7, 2, 2},
                          {0x78, 7, 2, 1}, {0xD8, 7, 1, 2}, {0xFC, 8, 2, 2}};
    for (const auto& c : cases) {
        std::int32_t d = 0, p = 0, s = 0;
        ASSERT_EQ(decodeSerialFormat(c.byte, d, p, s), 0) << std::hex << c.byte;
        EXPECT_EQ(d, c.dataBits) << std::hex << c.byte;
        EXPECT_EQ(p, c.parity) << std::hex << c.byte;
        EXPECT_EQ(s, c.stopBits) << std::hex << c.byte;
    }
}

TEST(SerialFormat, RejectsEachInvalidField) {
    std::int32_t d = 0, p = 0, s = 0;
    EXPECT_EQ(decodeSerialFormat(0x44, d, p, s), -1);  // data bits 01
    EXPECT_EQ(decodeSerialFormat(0x40, d, p, s), -1);  // data bits 00
    EXPECT_EQ(decodeSerialFormat(0x6C, d, p, s), -1);  // parity 10
    EXPECT_EQ(decodeSerialFormat(0x0C, d, p, s), -1);  // stop bits 00
    EXPECT_EQ(decodeSerialFormat(0x8C, d, p, s), -1);  // stop bits 10
    EXPECT_EQ(decodeSerialFormat(0x00, d, p, s), -1);
}

TEST(SerialFormat, OnlyTheLowEightBitsCount) {
    std::int32_t d = 0, p = 0, s = 0;
    ASSERT_EQ(decodeSerialFormat(0x14C, d, p, s), 0);
    EXPECT_EQ(d, 8);
}

TEST(SerialFormat, EncodesEveryValidCombinationAndDecodesItBack) {
    for (std::int32_t dataBits : {7, 8}) {
        for (std::int32_t parity : {0, 1, 2}) {
            for (std::int32_t stopBits : {1, 2}) {
                std::uint8_t byte = 0xFF;
                ASSERT_EQ(encodeSerialFormat(byte, dataBits, parity, stopBits), 0);
                EXPECT_EQ(byte & 0x03, 0);
                std::int32_t d = 0, p = 0, s = 0;
                ASSERT_EQ(decodeSerialFormat(byte, d, p, s), 0);
                EXPECT_EQ(d, dataBits);
                EXPECT_EQ(p, parity);
                EXPECT_EQ(s, stopBits);
            }
        }
    }
    std::uint8_t byte = 0;
    ASSERT_EQ(encodeSerialFormat(byte, 8, 0, 1), 0);
    EXPECT_EQ(byte, 0x4C);
    ASSERT_EQ(encodeSerialFormat(byte, 7, 2, 1), 0);
    EXPECT_EQ(byte, 0x78);
    ASSERT_EQ(encodeSerialFormat(byte, 7, 1, 2), 0);
    EXPECT_EQ(byte, 0xD8);
    ASSERT_EQ(encodeSerialFormat(byte, 8, 2, 2), 0);
    EXPECT_EQ(byte, 0xFC);
}

TEST(SerialFormat, RejectsValuesOutsideTheLists) {
    std::uint8_t byte = 0;
    EXPECT_EQ(encodeSerialFormat(byte, 9, 0, 1), -1);
    EXPECT_EQ(encodeSerialFormat(byte, 9, 7, 7), -1);
    EXPECT_EQ(encodeSerialFormat(byte, 8, 3, 1), -1);
    EXPECT_EQ(encodeSerialFormat(byte, 8, 0, 0), -1);
    EXPECT_EQ(encodeSerialFormat(byte, 8, 0, 3), -1);
}

TEST(MaskCodec, HostBitsToMask) {
    EXPECT_EQ(maskFromHostBits(8), Ipv4::fromOctets(255, 255, 255, 0));
    EXPECT_EQ(maskFromHostBits(9), Ipv4::fromOctets(255, 255, 254, 0));
    EXPECT_EQ(maskFromHostBits(16), Ipv4::fromOctets(255, 255, 0, 0));
    EXPECT_EQ(maskFromHostBits(24), Ipv4::fromOctets(255, 0, 0, 0));
    EXPECT_EQ(maskFromHostBits(0), Ipv4::fromOctets(255, 255, 255, 255));
    EXPECT_EQ(maskFromHostBits(31), Ipv4::fromOctets(128, 0, 0, 0));
    EXPECT_EQ(maskFromHostBits(32), Ipv4{});
    EXPECT_EQ(maskFromHostBits(40), Ipv4{});
    EXPECT_EQ(maskFromHostBits(255), Ipv4{});
}

TEST(MaskCodec, MaskToHostBitsRoundTripsAndRejectsHoles) {
    for (std::uint32_t n = 0; n <= 32; ++n) {
        EXPECT_EQ(hostBitsFromMask(maskFromHostBits(n)), static_cast<std::int32_t>(n));
    }
    EXPECT_EQ(hostBitsFromMask(Ipv4::fromOctets(255, 255, 254, 0)), 9);
    EXPECT_EQ(hostBitsFromMask(Ipv4::fromOctets(0, 255, 255, 255)), -1);
    EXPECT_EQ(hostBitsFromMask(Ipv4::fromOctets(255, 0, 255, 0)), -1);
    EXPECT_EQ(hostBitsFromMask(Ipv4::fromOctets(255, 255, 255, 1)), -1);
}

TEST(PinCodec, AllowedCodesPerPin) {
    EXPECT_EQ(pinListPosition(12, 0), 4);
    EXPECT_EQ(pinListPosition(12, 1), 3);
    EXPECT_EQ(pinListPosition(12, 2), 5);
    EXPECT_EQ(pinListPosition(13, 0), -1);
    EXPECT_EQ(pinListPosition(1, 0), -1);
    EXPECT_EQ(pinListPosition(-1, 0), -1);  // an empty slot never matches as a code
    EXPECT_EQ(pinListPosition(0, 3), -1);
    EXPECT_EQ(pinCodeAt(2, 6), 13);
    EXPECT_EQ(pinCodeAt(0, 5), -1);
    EXPECT_EQ(pinCodeAt(0, 7), -1);
    EXPECT_EQ(pinCodeAt(0, -1), -1);
    EXPECT_EQ(pinCodeAt(3, 0), -1);
    // Every allowed code sits at the position it is found at.
    for (std::int32_t pin = 0; pin < pinCount; ++pin) {
        for (std::int32_t position = 0; position < pinSlots; ++position) {
            const std::int32_t code = pinCodeAt(pin, position);
            if (code < 0) continue;
            EXPECT_EQ(pinListPosition(code, pin), position);
            EXPECT_LT(code, static_cast<std::int32_t>(pinFunctionNames.size()));
        }
    }
}

TEST(PinCodec, GeneralPurposePairsShareTheirTexts) {
    EXPECT_EQ(pinFunctionNames[4], "General Purpose In");
    EXPECT_EQ(pinFunctionNames[6], "General Purpose In");
    EXPECT_EQ(pinFunctionNames[8], "General Purpose In");
    EXPECT_EQ(pinFunctionNames[9], "General Purpose Out");
    EXPECT_EQ(pinFunctionNames[13], "Link Status");
}

TEST(ListPositions, FlowAndConnectHaveGapsInTheirCodes) {
    EXPECT_EQ(flowListPosition(0), 0);
    EXPECT_EQ(flowListPosition(2), 2);
    EXPECT_EQ(flowListPosition(5), 3);
    EXPECT_EQ(flowListPosition(3), -1);
    EXPECT_EQ(flowListPosition(4), -1);
    EXPECT_EQ(flowCodeAtListPosition(3), 5);
    EXPECT_EQ(flowCodeAtListPosition(4), -1);
    EXPECT_EQ(connectListPosition(0x1), 1);
    EXPECT_EQ(connectListPosition(0x5), 2);
    EXPECT_EQ(connectListPosition(0x0), 0);
    EXPECT_EQ(connectListPosition(0xC), 0);
    EXPECT_EQ(connectListPosition(0x7), 0);
    EXPECT_EQ(connectNibbleAtListPosition(2), 0x5);
    EXPECT_EQ(connectNibbleAtListPosition(3), -1);
}

TEST(ListPositions, SerialProtocolAndPackValues) {
    EXPECT_EQ(dataBitsListPosition(7), 0);
    EXPECT_EQ(dataBitsListPosition(8), 1);
    EXPECT_EQ(dataBitsListPosition(9), -1);
    EXPECT_EQ(dataBitsAtListPosition(1), 8);
    EXPECT_EQ(stopBitsListPosition(2), 1);
    EXPECT_EQ(stopBitsAtListPosition(0), 1);
    EXPECT_EQ(parityListPosition(2), 2);
    EXPECT_EQ(parityAtListPosition(3), -1);
    EXPECT_EQ(protocolListPosition(1), 1);
    EXPECT_EQ(protocolListPosition(2), -1);
    EXPECT_EQ(packListPosition(4), 4);
    EXPECT_EQ(packListPosition(5), -1);
    EXPECT_EQ(parityTexts[0], flowTexts[0]);
    EXPECT_EQ(packTexts[3], "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ250msec");
}

}  // namespace
}  // namespace tamro
