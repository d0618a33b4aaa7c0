#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>

namespace tamro {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

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
            const auto windowsOnly = codePage932SingleByte(static_cast<std::uint8_t>(bytes[position]));
            result += windowsOnly.empty() ? replacementCharacter : windowsOnly;
            ++position;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return result;
    }

private:
    iconv_t handle_;
};

}  // namespace

std::string utf8FromCodePage932(std::string_view bytes) {
    Cp932Converter converter;
    if (converter.isOpen()) return converter.convert(bytes);
    // No converter: ASCII survives, the rest is marked unreadable.
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

}  // namespace tamro
