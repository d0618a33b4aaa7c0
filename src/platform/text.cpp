#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <limits>

namespace tamro {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Used when the system has no code page 932 converter: ASCII survives, the
// rest is marked unreadable.
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

class Cp932Converter {
public:
    Cp932Converter() : handle_(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Converter() {
        if (isOpen()) iconv_close(handle_);
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    bool isOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    std::string convert(std::string_view bytes) {
        std::string result;
        // Every CP932 byte becomes at most three UTF-8 bytes.
        char buffer[256];
        std::size_t position = 0;
        while (position < bytes.size()) {
            // iconv's interface is not const-correct; it only reads the input.
            char* in = const_cast<char*>(bytes.data() + position);
            std::size_t inLeft = bytes.size() - position;
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(handle_, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            result.append(buffer, static_cast<std::size_t>(out - buffer));
            position = bytes.size() - inLeft;
            if (done != static_cast<std::size_t>(-1)) break;
            if (error == E2BIG) continue;
            // An unreadable or cut-off character: mark it and go on with the
            // next byte, which may start a readable one.
            result += replacementCharacter;
            ++position;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return result;
    }

private:
    iconv_t handle_;
};

}  // namespace

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

std::string toDisplayText(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    Cp932Converter converter;
    std::string result = converter.isOpen() ? converter.convert(bytes) : asciiOnly(bytes);
    // The promise is UTF-8 whatever the converter does.
    if (!isValidUtf8(result)) result = asciiOnly(bytes);
    return result;
}

}  // namespace tamro
