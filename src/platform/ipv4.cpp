#include "platform/ipv4.h"

namespace tamro {

std::string toDottedText(const Ipv4& address) {
    std::string text;
    for (std::size_t i = 0; i < address.bytes.size(); ++i) {
        if (i != 0) text += '.';
        text += std::to_string(address.bytes[i]);
    }
    return text;
}

std::optional<Ipv4> parseDottedText(std::string_view text) {
    Ipv4 result;
    std::size_t pos = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (part != 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        result.bytes[part] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size()) return std::nullopt;
    return result;
}

}  // namespace tamro
