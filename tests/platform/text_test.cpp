#include "platform/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

namespace tamro {
namespace {

using namespace std::string_literals;

constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32Min = std::numeric_limits<std::int32_t>::min();

TEST(DecimalValue, ReadsLikeAtoi) {
    EXPECT_EQ(decimalValue(" \t\r\n\v\f-42"), -42);
    EXPECT_EQ(decimalValue("+0012abc"), 12);
    EXPECT_EQ(decimalValue("1.9"), 1);
    EXPECT_EQ(decimalValue(""), 0);
    EXPECT_EQ(decimalValue("- 5"), 0);
    EXPECT_EQ(decimalValue("+-5"), 0);
    EXPECT_EQ(decimalValue("\"5\""), 0);
    EXPECT_EQ(decimalValue("5\0x"s), 5);
}

TEST(DecimalValue, SaturatesBeyond32Bits) {
    EXPECT_EQ(decimalValue("2147483647"), int32Max);
    EXPECT_EQ(decimalValue("2147483648"), int32Max);
    EXPECT_EQ(decimalValue("-2147483648"), int32Min);
    EXPECT_EQ(decimalValue("-2147483647"), -2147483647);
    EXPECT_EQ(decimalValue("-2147483649"), int32Min);
    EXPECT_EQ(decimalValue("-99999999999"), int32Min);
    EXPECT_EQ(decimalValue(std::string(5000, '9')), int32Max);
    EXPECT_EQ(decimalValue(std::string(5000, '0') + "42"), 42);
}

TEST(IsValidUtf8, AcceptsWellFormedSequences) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ASCII\x7F"));
    EXPECT_TRUE(isValidUtf8("\0"s));
    EXPECT_TRUE(isValidUtf8("\xC2\x80"));          // U+0080
    EXPECT_TRUE(isValidUtf8("\xE0\xA0\x80"));      // U+0800
    EXPECT_TRUE(isValidUtf8("\xED\x9F\xBF"));      // U+D7FF
    EXPECT_TRUE(isValidUtf8("\xEE\x80\x80"));      // U+E000
    EXPECT_TRUE(isValidUtf8("\xF0\x90\x80\x80"));  // U+10000
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
    EXPECT_TRUE(isValidUtf8("組込み"));
}

TEST(IsValidUtf8, RejectsMalformedSequences) {
    EXPECT_FALSE(isValidUtf8("\x80"));              // lone continuation
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(isValidUtf8("\xC1\xBF"));          // overlong
    EXPECT_FALSE(isValidUtf8("\xE0\x9F\xBF"));      // overlong U+07FF
    EXPECT_FALSE(isValidUtf8("\xF0\x8F\xBF\xBF"));  // overlong U+FFFF
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate U+D800
    EXPECT_FALSE(isValidUtf8("\xED\xBF\xBF"));      // surrogate U+DFFF
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // U+110000
    EXPECT_FALSE(isValidUtf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(isValidUtf8("\xFF"));
    EXPECT_FALSE(isValidUtf8("ok\xE3\x81"));        // cut short at the end
    EXPECT_FALSE(isValidUtf8("\xE3\x81\x41"));      // cut short by ASCII
    EXPECT_FALSE(isValidUtf8("\x91\x67\x8D\x9E"));  // code page 932
}

TEST(FromCodePage932, ConvertsCodePage932) {
    EXPECT_EQ(fromCodePage932("QZ-100"), "QZ-100");
    EXPECT_EQ(fromCodePage932("\x91\x67\x8D\x9E\x82\xDD QZ"), "組込み QZ");
    EXPECT_EQ(fromCodePage932("\xB1\xB2"), "ｱｲ");  // half-width katakana
    EXPECT_EQ(fromCodePage932("\x81\x60"), "～");
}

TEST(FromCodePage932, ReadsTheSingleBytesWindowsGivesPrivateCharacters) {
    // Windows' code page 932 reads these bytes; model names must read the
    // same on every platform.
    EXPECT_EQ(fromCodePage932("A\x80\x42"), "A\xC2\x80" "B");
    EXPECT_EQ(fromCodePage932("\xA0"), "\uF8F0");
    EXPECT_EQ(fromCodePage932("\xFD\xFE\xFF"), "\uF8F1\uF8F2\uF8F3");
    // As the second byte of a pair they belong to that pair.
    EXPECT_EQ(fromCodePage932("\x81\x80"), "÷");
    // After a lead byte they cannot pair with, they still read alone.
    EXPECT_EQ(fromCodePage932("\x81\xFD"), "\uFFFD\uF8F1");
    EXPECT_EQ(fromCodePage932("\x85\xA0"), "\uFFFD\uF8F0");
}

TEST(FromCodePage932, MarksUnreadableBytesAndGoesOn) {
    const std::string replacement = "\xEF\xBF\xBD";
    // A lead byte without a valid partner, and one cut off at the end.
    EXPECT_EQ(fromCodePage932("\x82\x42z"), replacement + "Bz");
    EXPECT_EQ(fromCodePage932("\xB1\x82"), "ｱ" + replacement);
}

TEST(FromCodePage932, ReadsBytesThatLookLikeUtf8AsCodePage932) {
    // Half-width katakana pairs are often valid UTF-8 as well.
    EXPECT_EQ(fromCodePage932("\xC3\xB1 QZ"), "ﾃｱ QZ");
    EXPECT_EQ(fromCodePage932("\xC2\xB0"), "ﾂｰ");
    // UTF-8 Japanese read as code page 932 is not left as it was.
    EXPECT_NE(fromCodePage932("組込み"), "組込み");
}

TEST(Utf8OrAscii, KeepsUtf8AndOtherwiseOnlyAscii) {
    EXPECT_EQ(utf8OrAscii("eth0"), "eth0");
    EXPECT_EQ(utf8OrAscii("ñ LAN"), "ñ LAN");
    EXPECT_EQ(utf8OrAscii("\x91\x67 LAN"), "\xEF\xBF\xBDg LAN");
}

TEST(FromCodePage932, AlwaysGivesUtf8) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : bytes) c = static_cast<char>(byte(random));
        ASSERT_TRUE(isValidUtf8(fromCodePage932(bytes))) << round;
        ASSERT_TRUE(isValidUtf8(utf8OrAscii(bytes))) << round;
    }
}

}  // namespace
}  // namespace tamro
