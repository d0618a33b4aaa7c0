#include "protocol/vocabulary.h"

#include <charconv>
#include <string>

namespace tamro {

namespace {

template <typename Array>
std::int32_t positionOf(const Array& values, std::int32_t value) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (static_cast<std::int32_t>(values[i]) == value) return static_cast<std::int32_t>(i);
    }
    return -1;
}

template <typename Array>
std::int32_t valueAt(const Array& values, std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= values.size()) return -1;
    return static_cast<std::int32_t>(values[static_cast<std::size_t>(position)]);
}

constexpr std::array<std::int32_t, 2> dataBitsValues = {7, 8};
constexpr std::array<std::int32_t, 2> stopBitsValues = {1, 2};
constexpr std::array<std::int32_t, 3> parityValues = {0, 1, 2};

}  // namespace

std::int32_t baudFromCode(std::uint32_t code) {
    if (code >= baudByCode.size()) return -1;
    return baudByCode[code];
}

std::int32_t codeFromBaud(std::int32_t baud) { return positionOf(baudByCode, baud); }

std::int32_t decodeSerialFormat(std::uint32_t formatByte, std::int32_t& dataBits,
                                std::int32_t& parity, std::int32_t& stopBits) {
    switch ((formatByte >> 2) & 0x3) {
        case 0x2: dataBits = 7; break;
        case 0x3: dataBits = 8; break;
        default: return -1;
    }
    switch ((formatByte >> 4) & 0x3) {
        case 0x0: parity = 0; break;
        case 0x1: parity = 1; break;
        case 0x3: parity = 2; break;
        default: return -1;
    }
    switch ((formatByte >> 6) & 0x3) {
        case 0x1: stopBits = 1; break;
        case 0x3: stopBits = 2; break;
        default: return -1;
    }
    return 0;
}

std::int32_t encodeSerialFormat(std::uint8_t& formatByte, std::int32_t dataBits,
                                std::int32_t parity, std::int32_t stopBits) {
    formatByte = 0;
    switch (dataBits) {
        case 7: formatByte = 0x08; break;
        case 8: formatByte = 0x0C; break;
        default: return -1;
    }
    switch (parity) {
        case 0: break;
        case 1: formatByte |= 0x10; break;
        case 2: formatByte |= 0x30; break;
        default: return -1;
    }
    switch (stopBits) {
        case 1: formatByte |= 0x40; break;
        case 2: formatByte |= 0xC0; break;
        default: return -1;
    }
    return 0;
}

Ipv4 maskFromHostBits(std::uint32_t hostBits) {
    if (hostBits >= 32) return Ipv4{};
    return Ipv4::fromHostOrder(~std::uint32_t{0} << hostBits);
}

std::int32_t hostBitsFromMask(const Ipv4& mask) {
    const std::uint32_t value = mask.hostOrder();
    std::int32_t ones = 0;
    bool seenZero = false;
    for (int bit = 31; bit >= 0; --bit) {
        if ((value >> bit) & 1U) {
            if (seenZero) return -1;
            ++ones;
        } else {
            seenZero = true;
        }
    }
    return 32 - ones;
}

std::int32_t pinListPosition(std::int32_t code, std::int32_t pin) {
    // An empty slot is no code: -1 must not find a position past the list.
    if (pin < 0 || pin >= pinCount || code < 0) return -1;
    return positionOf(cpAllowedCodes[static_cast<std::size_t>(pin)], code);
}

std::int32_t pinCodeAt(std::int32_t pin, std::int32_t position) {
    if (pin < 0 || pin >= pinCount) return -1;
    return valueAt(cpAllowedCodes[static_cast<std::size_t>(pin)], position);
}

std::int32_t baudListPosition(std::int32_t baud) {
    // The position whose text is the rate's plain decimal rendering.
    const std::string text = std::to_string(baud);
    for (std::size_t i = 0; i < baudTexts.size(); ++i) {
        if (baudTexts[i] == text) return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t baudAtListPosition(std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= baudTexts.size()) return -1;
    const std::string_view text = baudTexts[static_cast<std::size_t>(position)];
    std::int32_t rate = -1;
    std::from_chars(text.data(), text.data() + text.size(), rate);
    return rate;
}

std::int32_t dataBitsListPosition(std::int32_t dataBits) { return positionOf(dataBitsValues, dataBits); }
std::int32_t dataBitsAtListPosition(std::int32_t position) { return valueAt(dataBitsValues, position); }
std::int32_t stopBitsListPosition(std::int32_t stopBits) { return positionOf(stopBitsValues, stopBits); }
std::int32_t stopBitsAtListPosition(std::int32_t position) { return valueAt(stopBitsValues, position); }
std::int32_t parityListPosition(std::int32_t parity) { return positionOf(parityValues, parity); }
std::int32_t parityAtListPosition(std::int32_t position) { return valueAt(parityValues, position); }

std::int32_t protocolListPosition(std::int32_t protocol) {
    return (protocol == 0 || protocol == 1) ? protocol : -1;
}

std::int32_t flowListPosition(std::int32_t flowCode) { return positionOf(flowCodes, flowCode); }
std::int32_t flowCodeAtListPosition(std::int32_t position) { return valueAt(flowCodes, position); }

std::int32_t connectListPosition(std::int32_t connectNibble) {
    if (connectNibble == 0x1) return 1;
    if (connectNibble == 0x5) return 2;
    return 0;
}

std::int32_t connectNibbleAtListPosition(std::int32_t position) {
    return valueAt(connectNibbles, position);
}

std::int32_t packListPosition(std::int32_t packControl) {
    return (packControl >= 0 && static_cast<std::size_t>(packControl) < packTexts.size()) ? packControl
                                                                                         : -1;
}

}  // namespace tamro
