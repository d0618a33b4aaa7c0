#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>

#include "block_bytes.h"
#include "patch_fixture.h"
#include "protocol/config_blocks.h"
#include "protocol/messages.h"

namespace tamro {
namespace {

using testing_blocks::block0Controlled;
using testing_blocks::block3Controlled;
using testing_blocks::block7Controlled;
using testing_blocks::put;

template <std::size_t N>
void expectSameBytes(const std::array<std::uint8_t, N>& expected,
                     const std::array<std::uint8_t, N>& actual, const char* name) {
    for (std::size_t i = 0; i < N; ++i) {
        EXPECT_EQ(int{actual[i]}, int{expected[i]}) << name << " byte " << i;
    }
}

template <std::size_t N>
void expectUncontrolledKept(const std::array<std::uint8_t, N>& fetched,
                            const std::array<std::uint8_t, N>& patched,
                            const std::set<std::size_t>& controlled, const char* name) {
    for (const std::size_t i : testing_blocks::uncontrolledChanges(fetched, patched, controlled)) {
        ADD_FAILURE() << name << " byte " << i << " changed";
    }
}

AddressFields fields(int a, int b, int c, int d) { return AddressFields{{a, b, c, d}}; }

class ConfigPatchTest : public ::testing::Test {
protected:
    ConfigPatchTest()
        : fetched(testing_blocks::patchTestBlocks()), controls(testing_blocks::patchTestControls()) {}

    // Patches, expects success, and checks that every uncontrolled byte is kept.
    ConfigurationBlocks patched() {
        const PatchResult result = patchConfiguration(fetched, controls, keepAlive, modelVariant);
        EXPECT_EQ(result.error, PatchError::none);
        expectUncontrolledKept(fetched.block0, result.blocks.block0, block0Controlled, "block0");
        expectUncontrolledKept(fetched.block3, result.blocks.block3, block3Controlled, "block3");
        expectUncontrolledKept(fetched.block7, result.blocks.block7, block7Controlled, "block7");
        return result.blocks;
    }

    PatchError patchError() {
        return patchConfiguration(fetched, controls, keepAlive, modelVariant).error;
    }

    ConfigurationBlocks fetched;
    WriteControlValues controls;
    std::int32_t keepAlive = 60;
    std::optional<std::int32_t> modelVariant = 2;
};

TEST_F(ConfigPatchTest, WritesEveryControlledByteAndNothingElse) {
    ConfigurationBlocks expected = fetched;
    put(expected.block0, 0, {0x00, 0x01, 0x00, 0xC0, 192, 168, 10, 50});
    put(expected.block0, 10, {8, 60});
    put(expected.block0, 16, {192, 168, 10, 1, 0x4C, 8, 2});
    put(expected.block0, 24, {0x11, 0x27, 0x88, 0x13, 192, 168, 10, 9, 0x35, 0});
    put(expected.block0, 38, {0x80, 0xF2});
    put(expected.block3, 0, {0x00, 0x01, 0x00, 0xC3});
    expected.block3[120] = 0x5F;
    put(expected.block7, 0, {0x00, 0x00, 0x00, 0xC7, 10, 13, 13});
    expected.block7[129] = 1;

    const ConfigurationBlocks actual = patched();
    expectSameBytes(expected.block0, actual.block0, "block0");
    expectSameBytes(expected.block3, actual.block3, "block3");
    expectSameBytes(expected.block7, actual.block7, "block7");
}

TEST_F(ConfigPatchTest, ControlsWithoutAValueKeepFetchedBytes) {
    controls.portText = "";
    controls.remoteIp = fields(10, -1, 0, 1);
    controls.dataBitsPosition = controls.stopBitsPosition = controls.parityPosition = -1;
    controls.flowPosition = controls.connectPosition = controls.packPosition = -1;
    controls.cp1Position = controls.cp2Position = controls.cp3Position = -1;
    modelVariant.reset();
    fetched.block0[20] = 0x7B;  // 7, even, 1 with bits 0-1 set

    const ConfigurationBlocks actual = patched();
    for (const std::size_t i : {22, 24, 25, 28, 29, 30, 31, 38, 39}) {
        EXPECT_EQ(actual.block0[i], fetched.block0[i]) << "block0 byte " << i;
    }
    for (const std::size_t i : {4, 5, 6, 129}) {
        EXPECT_EQ(actual.block7[i], fetched.block7[i]) << "block7 byte " << i;
    }
    EXPECT_EQ(actual.block0[20], 0x78);
}

TEST_F(ConfigPatchTest, AutomaticAddressZeroesAddressGatewayAndMask) {
    controls.dhcpChecked = true;
    controls.netmask = fields(255, 0, 255, 0);  // not consulted
    const ConfigurationBlocks actual = patched();
    for (const std::size_t i : {4, 5, 6, 7, 10, 16, 17, 18, 19}) {
        EXPECT_EQ(actual.block0[i], 0) << i;
    }
}

TEST_F(ConfigPatchTest, ManualMaskIsStoredAsHostBits) {
    const std::pair<AddressFields, int> cases[] = {
        {fields(255, 255, 255, 0), 8}, {fields(255, 255, 255, 255), 0}, {fields(0, 0, 0, 0), 32},
        {fields(255, 255, 254, 0), 9}, {fields(255, 255, -1, -1), 16},  // blank fields read as 0
    };
    for (const auto& [mask, hostBits] : cases) {
        controls.netmask = mask;
        EXPECT_EQ(patched().block0[10], hostBits) << hostBits;
    }
}

TEST_F(ConfigPatchTest, BlankAddressFieldsAreWrittenAsZero) {
    controls.ipAddress = fields(10, -1, 7, -1);
    controls.gateway = fields(-1, -1, -1, -1);
    const ConfigurationBlocks actual = patched();
    EXPECT_EQ(actual.block0[4], 10);
    EXPECT_EQ(actual.block0[5], 0);
    EXPECT_EQ(actual.block0[6], 7);
    EXPECT_EQ(actual.block0[7], 0);
    for (const std::size_t i : {16, 17, 18, 19}) EXPECT_EQ(actual.block0[i], 0) << i;
}

TEST_F(ConfigPatchTest, RefusesWithTheFirstFailingStepsError) {
    controls.netmask = fields(255, 0, 255, 0);
    EXPECT_EQ(patchError(), PatchError::subnetMask);
    // The mask is checked before the serial format and the baud text.
    fetched.block0[20] = 0x00;
    controls.baudText = "";
    EXPECT_EQ(patchError(), PatchError::subnetMask);

    controls.netmask = fields(255, 255, 0, 0);
    EXPECT_EQ(patchError(), PatchError::setting);
}

TEST_F(ConfigPatchTest, UnreadableFetchedFormatIsASettingErrorEvenWithAllListsChosen) {
    for (const int format : {0x00, 0x0C, 0x44, 0x6C, 0x8C}) {
        fetched.block0[20] = static_cast<std::uint8_t>(format);
        EXPECT_EQ(patchError(), PatchError::setting) << format;
    }
}

TEST_F(ConfigPatchTest, BaudTextWithoutDeviceCodeIsASettingError) {
    for (const char* text : {"", "0", "14400", "abc", "-9600"}) {
        controls.baudText = text;
        EXPECT_EQ(patchError(), PatchError::setting) << '"' << text << '"';
    }
}

TEST(PatchErrorMessage, NamesTheMessageToShow) {
    EXPECT_EQ(patchErrorMessage(PatchError::subnetMask), "サブネットマスク設定エラー");
    EXPECT_EQ(patchErrorMessage(PatchError::setting), "設定エラー");
    EXPECT_EQ(patchErrorMessage(PatchError::none), "");
}

TEST_F(ConfigPatchTest, LocalPortIsWrittenOnlyWhenNotZero) {
    const std::array<int, 2> kept = {fetched.block0[24], fetched.block0[25]};
    const std::pair<const char*, std::array<int, 2>> cases[] = {
        {"10000", {0x10, 0x27}},
        {"", kept},
        {"0", kept},
        {"abc", kept},
        {" +80x", {80, 0}},
        {"70000", {0x70, 0x11}},
        {"-1", {0xFF, 0xFF}},
        {"65536", {0x00, 0x00}},
    };
    for (const auto& [text, bytes] : cases) {
        controls.portText = text;
        const ConfigurationBlocks actual = patched();
        EXPECT_EQ(actual.block0[24], bytes[0]) << '"' << text << '"';
        EXPECT_EQ(actual.block0[25], bytes[1]) << '"' << text << '"';
    }
}

TEST_F(ConfigPatchTest, RemotePortIsAlwaysWrittenAndEmptyMeansZero) {
    const std::pair<const char*, std::array<int, 2>> cases[] = {
        {"", {0, 0}}, {"10000", {0x10, 0x27}}, {"65535", {0xFF, 0xFF}}, {"65537", {1, 0}}};
    for (const auto& [text, bytes] : cases) {
        controls.remotePortText = text;
        const ConfigurationBlocks actual = patched();
        EXPECT_EQ(actual.block0[26], bytes[0]) << '"' << text << '"';
        EXPECT_EQ(actual.block0[27], bytes[1]) << '"' << text << '"';
    }
}

struct BaudCase {
    const char* text;
    std::int32_t position;
    int fetched120;
    int code;
    int written120;
};

class BaudPatch : public ConfigPatchTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(BaudPatch, WritesCodeAndHighSpeedFlag) {
    controls.baudText = GetParam().text;
    controls.baudPosition = GetParam().position;
    fetched.block3[120] = static_cast<std::uint8_t>(GetParam().fetched120);
    const ConfigurationBlocks actual = patched();
    EXPECT_EQ(actual.block0[21], GetParam().code);
    EXPECT_EQ(actual.block3[120], GetParam().written120);
}

INSTANTIATE_TEST_SUITE_P(Rates, BaudPatch,
                         ::testing::Values(BaudCase{"921600", 12, 0xFF, 12, 0xDF},
                                           BaudCase{"921600", 12, 0x00, 12, 0x80},
                                           BaudCase{"460800", 11, 0x20, 11, 0x80},
                                           BaudCase{"230400", 10, 0xFF, 10, 0x5F},
                                           BaudCase{"300", 0, 0xA0, 7, 0x00},
                                           BaudCase{"38400", 7, 0x5F, 0, 0x5F},
                                           // the flag follows the list position, not the text
                                           BaudCase{"9600", 11, 0x00, 2, 0x80},
                                           BaudCase{"921600", -1, 0xFF, 12, 0x5F}));

TEST_F(ConfigPatchTest, SerialFormatStartsFromTheDevicesCurrentValues) {
    struct Case {
        int fetchedByte;
        std::int32_t dataBits, stopBits, parity;  // list positions
        int written;
    };
    const Case cases[] = {
        {0x78, -1, 1, -1, 0xF8}, {0x4F, 1, 0, 0, 0x4C}, {0x4C, 0, 1, 2, 0xF8},
        {0xD8, -1, -1, 0, 0xC8}, {0x4C, 2, 2, 3, 0x4C},  // positions off the lists keep
    };
    for (const Case& c : cases) {
        fetched.block0[20] = static_cast<std::uint8_t>(c.fetchedByte);
        controls.dataBitsPosition = c.dataBits;
        controls.stopBitsPosition = c.stopBits;
        controls.parityPosition = c.parity;
        EXPECT_EQ(patched().block0[20], c.written) << c.fetchedByte;
    }
}

TEST_F(ConfigPatchTest, FlowPositionsMapToDeviceCodes) {
    const int kept = fetched.block0[22];
    const std::pair<std::int32_t, int> cases[] = {{0, 0}, {1, 1},    {2, 2},
                                                  {3, 5}, {4, kept}, {-1, kept}};
    for (const auto& [position, code] : cases) {
        controls.flowPosition = position;
        EXPECT_EQ(patched().block0[22], code) << position;
    }
}

TEST_F(ConfigPatchTest, ConnectModeKeepsHighNibbleAndMarksUdp) {
    struct Case {
        std::int32_t protocol, connect;
        int fetched32, written32, written33;
    };
    const Case cases[] = {
        {1, 2, 0xA5, 0xAC, 1},  {0, 1, 0xA5, 0xA1, 0},  {0, 2, 0x3C, 0x35, 0},
        {0, 0, 0xFF, 0xF0, 0},  {0, -1, 0x6D, 0x60, 0}, {0, 3, 0x61, 0x60, 0},
        {-1, 1, 0x01, 0x0C, 1}, {5, 0, 0x90, 0x9C, 1},
    };
    for (const Case& c : cases) {
        controls.protocolPosition = c.protocol;
        controls.connectPosition = c.connect;
        fetched.block0[32] = static_cast<std::uint8_t>(c.fetched32);
        fetched.block0[33] = 0x77;
        const ConfigurationBlocks actual = patched();
        EXPECT_EQ(actual.block0[32], c.written32) << c.protocol << "/" << c.connect;
        EXPECT_EQ(actual.block0[33], c.written33) << c.protocol << "/" << c.connect;
    }
}

TEST_F(ConfigPatchTest, RemoteAddressNeedsAllFourFields) {
    controls.remoteIp = fields(0, 0, 0, 0);
    ConfigurationBlocks actual = patched();
    for (const std::size_t i : {28, 29, 30, 31}) EXPECT_EQ(actual.block0[i], 0) << i;

    for (const AddressFields& partial :
         {fields(10, 0, 0, -1), fields(-1, 1, 2, 3), fields(-1, -1, -1, -1)}) {
        controls.remoteIp = partial;
        actual = patched();
        for (const std::size_t i : {28, 29, 30, 31}) {
            EXPECT_EQ(actual.block0[i], fetched.block0[i]) << i;
        }
    }
}

TEST_F(ConfigPatchTest, PinFunctionsComeFromEachPinsOwnRow) {
    const std::array<std::array<std::int32_t, 3>, 3> positions = {
        {{0, 0, 0}, {4, 4, 6}, {2, 1, 3}}};
    const std::array<std::array<int, 3>, 3> codes = {{{0, 2, 1}, {12, 13, 13}, {5, 6, 9}}};
    for (std::size_t k = 0; k < positions.size(); ++k) {
        controls.cp1Position = positions[k][0];
        controls.cp2Position = positions[k][1];
        controls.cp3Position = positions[k][2];
        const ConfigurationBlocks actual = patched();
        for (std::size_t pin = 0; pin < 3; ++pin) {
            EXPECT_EQ(actual.block7[4 + pin], codes[k][pin]) << "case " << k << " pin " << pin;
        }
    }
}

TEST_F(ConfigPatchTest, PinListWithoutUsableSelectionKeepsFetchedCode) {
    // No selection, an empty slot (CP1/CP2 have five codes), past the row, wild values.
    const std::array<std::array<std::int32_t, 3>, 5> positions = {
        {{-1, -1, -1}, {5, 6, 7}, {7, 5, 8}, {INT_MAX, 1000, 7000}, {INT_MIN, -2, -7}}};
    for (const auto& p : positions) {
        controls.cp1Position = p[0];
        controls.cp2Position = p[1];
        controls.cp3Position = p[2];
        const ConfigurationBlocks actual = patched();
        for (std::size_t pin = 0; pin < 3; ++pin) {
            EXPECT_EQ(actual.block7[4 + pin], fetched.block7[4 + pin]) << p[0] << " pin " << pin;
        }
    }
    controls.cp1Position = -1;
    controls.cp2Position = 1;
    controls.cp3Position = 99;
    const ConfigurationBlocks actual = patched();
    EXPECT_EQ(actual.block7[4], fetched.block7[4]);
    EXPECT_EQ(actual.block7[5], 6);
    EXPECT_EQ(actual.block7[6], fetched.block7[6]);
}

TEST_F(ConfigPatchTest, KeepAliveIsItsLowEightBits) {
    const std::pair<std::int32_t, int> cases[] = {
        {300, 44}, {0, 0}, {255, 255}, {256, 0}, {-1, 255}};
    for (const auto& [seconds, byte] : cases) {
        keepAlive = seconds;
        EXPECT_EQ(patched().block0[11], byte) << seconds;
    }
}

TEST_F(ConfigPatchTest, PackControlSetsEnableBitAndGapCodeOnly) {
    struct Case {
        std::int32_t position;
        int fetched38, fetched39, written38, written39;
    };
    const Case cases[] = {
        {4, 0x00, 0xF0, 0x80, 0xF3}, {0, 0xFF, 0xFF, 0x7F, 0xFC}, {1, 0x01, 0xFF, 0x81, 0xFC},
        {2, 0x80, 0x00, 0x80, 0x01}, {3, 0x7F, 0x01, 0xFF, 0x02}, {-1, 0x12, 0x37, 0x12, 0x37},
        {5, 0x12, 0x37, 0x12, 0x37},
    };
    for (const Case& c : cases) {
        controls.packPosition = c.position;
        put(fetched.block0, 38, {c.fetched38, c.fetched39});
        const ConfigurationBlocks actual = patched();
        EXPECT_EQ(actual.block0[38], c.written38) << c.position;
        EXPECT_EQ(actual.block0[39], c.written39) << c.position;
    }
}

TEST_F(ConfigPatchTest, ModelVariantOneOrTwoSetsTheVariantByte) {
    const std::pair<std::optional<std::int32_t>, int> cases[] = {
        {1, 0}, {2, 1}, {-1, 0x5A}, {0, 0x5A}, {3, 0x5A}, {std::nullopt, 0x5A}};
    for (const auto& [variant, byte] : cases) {
        modelVariant = variant;
        EXPECT_EQ(patched().block7[129], byte) << variant.value_or(INT_MIN);
    }
}

TEST(AddressFields, CountsAndReadsBlankFieldsAsZero) {
    const AddressFields full = AddressFields::of(Ipv4::fromOctets(10, 0, 255, 1));
    EXPECT_EQ(full, fields(10, 0, 255, 1));
    EXPECT_EQ(full.filledCount(), 4);
    EXPECT_EQ(full.value(), Ipv4::fromOctets(10, 0, 255, 1));

    EXPECT_EQ(AddressFields{}.filledCount(), 0);
    EXPECT_EQ(AddressFields{}.value(), Ipv4{});
    EXPECT_EQ(fields(1, -1, 3, 0).filledCount(), 3);
    EXPECT_EQ(fields(1, -1, 3, 0).value(), Ipv4::fromOctets(1, 0, 3, 0));
    // Values no control can hold are blank, not truncated.
    EXPECT_EQ(fields(256, 2, -7, 4).filledCount(), 2);
    EXPECT_EQ(fields(256, 2, -7, 4).value(), Ipv4::fromOctets(0, 2, 0, 4));
}

}  // namespace
}  // namespace tamro
