#include "platform/text.h"

#include <cstddef>
#include <limits>

#include "platform/code_page.h"

namespace tamro {

namespace {

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string asciiOnly(std::string_view bytes) {
    std::string result;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            result += c;
        } else {
            result += replacementCharacter;
        }
    }
    return result;
}

std::int32_t decimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude, stopping once it is past every 32-bit value.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= limit) magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (negative) {
        return magnitude >= limit ? std::numeric_limits<std::int32_t>::min()
                                  : static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(magnitude);
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
            minimum = 0x10000;
        } else {
            return false;  // continuation byte, C0/C1 overlong lead, or beyond F4
        }
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if (codePoint < minimum) return false;                         // overlong
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;  // surrogate
        if (codePoint > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

std::string utf8OrAscii(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : asciiOnly(bytes);
}

std::string fromCodePage932(std::string_view bytes) {
    std::string result = utf8FromCodePage932(bytes);
    // The promise is UTF-8 whatever the converter does.
    if (!isValidUtf8(result)) result = asciiOnly(bytes);
    return result;
}

}  // namespace tamro
