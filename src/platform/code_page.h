#pragma once

#include <string>
#include <string_view>

namespace tamro {

// Code page 932 bytes as UTF-8, the way Windows reads that code page (so
// 0x80 is U+0080, 0xA0 U+F8F0 and 0xFD..0xFF U+F8F1..U+F8F3). A byte that
// starts no readable character becomes U+FFFD and reading goes on with the
// next byte.
std::string utf8FromCodePage932(std::string_view bytes);

}  // namespace tamro
