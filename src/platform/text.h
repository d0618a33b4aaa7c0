#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamro {

// A decimal number read the way C's atoi reads it: leading blanks, an
// optional sign, digits up to the first other character; no digits gives 0.
// Numbers beyond 32 bits saturate at the nearest 32-bit limit.
std::int32_t decimalValue(std::string_view text);

// Text held as bytes in the device world's code page, made fit for display:
// valid UTF-8 stays as it is, anything else is read as code page 932.
// Bytes that neither can read become U+FFFD, so the result is always UTF-8.
std::string toDisplayText(std::string_view bytes);

bool isValidUtf8(std::string_view bytes);

// U+FFFD in UTF-8: what stands for bytes no conversion could read.
inline constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Used when no conversion gives UTF-8: ASCII survives, every other byte
// becomes U+FFFD.
std::string asciiOnly(std::string_view bytes);

}  // namespace tamro
