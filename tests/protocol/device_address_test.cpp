#include "protocol/device_address.h"

#include <utility>

#include <gtest/gtest.h>

#include "protocol/block_layout.h"

namespace tamro {
namespace {

TEST(MacText, UpperCaseWithDashes) {
    EXPECT_EQ(macText({0x02, 0x00, 0xAB, 0x0C, 0xFF, 0x10}), "02-00-AB-0C-FF-10");
}

TEST(MacText, ReadsEitherSeparatorAndEitherCase) {
    const std::array<std::uint8_t, 6> mac = {0x02, 0x00, 0xAB, 0x0C, 0xFF, 0x10};
    EXPECT_EQ(parseMacText("02-00-AB-0C-FF-10"), mac);
    EXPECT_EQ(parseMacText("02:00:ab:0c:ff:10"), mac);
    EXPECT_EQ(parseMacText(macText(mac)), mac);
}

TEST(MacText, RefusesAnythingElse) {
    for (const char* text : {"", "02-00-AB-0C-FF", "02-00-AB-0C-FF-10-", "02-00:AB-0C-FF-10",
                             "02.00.AB.0C.FF.10", "02-00-AB-0C-FF-1G", "2-000-AB-0C-FF-10",
                             " 02-00-AB-0C-FF-1"}) {
        EXPECT_FALSE(parseMacText(text)) << text;
    }
}

TEST(UsableUnicast, NotZeroLoopbackOrMulticast) {
    EXPECT_TRUE(isUsableUnicast(Ipv4::fromOctets(10, 77, 0, 10)));
    EXPECT_TRUE(isUsableUnicast(Ipv4::fromOctets(223, 255, 255, 254)));
    EXPECT_FALSE(isUsableUnicast(Ipv4::fromOctets(0, 1, 2, 3)));
    EXPECT_FALSE(isUsableUnicast(Ipv4::fromOctets(127, 0, 0, 1)));
    EXPECT_FALSE(isUsableUnicast(Ipv4::fromOctets(224, 0, 0, 1)));
    EXPECT_FALSE(isUsableUnicast(limitedBroadcast));
}

TEST(BlockLayout, EachBlockHasItsSlotAndBytes) {
    EXPECT_EQ(blockSlot(0), 0U);
    EXPECT_EQ(blockSlot(3), 1U);
    EXPECT_EQ(blockSlot(7), 2U);
    for (const std::uint32_t number : {1U, 2U, 4U, 6U, 8U, 0xE0U}) EXPECT_FALSE(blockSlot(number));

    ConfigurationBlocks blocks;
    EXPECT_EQ(blockBytes(blocks, 0).data(), blocks.block0.data());
    EXPECT_EQ(blockBytes(blocks, 1).data(), blocks.block3.data());
    EXPECT_EQ(blockBytes(blocks, 2).data(), blocks.block7.data());
    EXPECT_EQ(blockBytes(blocks, 1).size(), 130U);
    EXPECT_EQ(blockBytes(std::as_const(blocks), 0).size(), 124U);
}

TEST(BlockLayout, AutomaticAddressIgnoresTheThirdByte) {
    Block0 block{};
    block[6] = 0x55;
    EXPECT_TRUE(holdsAutomaticAddress(block));
    block[7] = 1;
    EXPECT_FALSE(holdsAutomaticAddress(block));
}

}  // namespace
}  // namespace tamro
