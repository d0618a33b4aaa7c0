#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamro {

// A decimal number read the way C's atoi reads it: leading blanks, an
// optional sign, digits up to the first other character; no digits gives 0.
// Numbers beyond 32 bits saturate at the nearest 32-bit limit.
std::int32_t decimalValue(std::string_view text);

// Bytes from the model file or a device, which hold code page 932 text, as
// UTF-8. Read as code page 932 alone, even when they happen to be valid
// UTF-8 (half-width katakana pairs often are). Bytes it cannot read become
// U+FFFD, so the result is always UTF-8.
std::string fromCodePage932(std::string_view bytes);

// Text the program takes as UTF-8 from the system (adapter names): kept when
// it is valid UTF-8, else its ASCII alone, so that it can always be shown.
std::string utf8OrAscii(std::string_view bytes);

bool isValidUtf8(std::string_view bytes);

// U+FFFD in UTF-8: what stands for bytes no conversion could read.
inline constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Used when no conversion gives UTF-8: ASCII survives, every other byte
// becomes U+FFFD.
std::string asciiOnly(std::string_view bytes);

}  // namespace tamro
