#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamro {

// Code page 932 bytes as UTF-8, the way Windows reads that code page (so
// 0x80 is U+0080, 0xA0 U+F8F0 and 0xFD..0xFF U+F8F1..U+F8F3). A byte that
// starts no readable character becomes U+FFFD and reading goes on with the
// next byte.
std::string utf8FromCodePage932(std::string_view bytes);

// The single bytes Windows' code page 932 reads that other converters (iconv,
// Wine's table) may not: their characters as UTF-8, else empty.
inline std::string_view codePage932SingleByte(std::uint8_t byte) {
    switch (byte) {
        case 0x80: return "\xC2\x80";       // U+0080
        case 0xA0: return "\xEF\xA3\xB0";  // U+F8F0
        case 0xFD: return "\xEF\xA3\xB1";  // U+F8F1
        case 0xFE: return "\xEF\xA3\xB2";  // U+F8F2
        case 0xFF: return "\xEF\xA3\xB3";  // U+F8F3
        default: return {};
    }
}

}  // namespace tamro
