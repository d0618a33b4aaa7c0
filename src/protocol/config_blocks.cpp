#include "protocol/config_blocks.h"

#include <cstddef>

#include "platform/text.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"

namespace tamro {

namespace {

// Block 0 offsets.
constexpr std::size_t ipOffset = 4;
constexpr std::size_t hostBitsOffset = 10;
constexpr std::size_t keepAliveOffset = 11;
constexpr std::size_t gatewayOffset = 16;
constexpr std::size_t serialFormatOffset = 20;
constexpr std::size_t baudCodeOffset = 21;
constexpr std::size_t flowOffset = 22;
constexpr std::size_t localPortOffset = 24;
constexpr std::size_t remotePortOffset = 26;
constexpr std::size_t remoteIpOffset = 28;
constexpr std::size_t connectModeOffset = 32;
constexpr std::size_t udpMarkerOffset = 33;
constexpr std::size_t packEnableOffset = 38;
constexpr std::size_t packGapOffset = 39;

// Block 3.
constexpr std::size_t highSpeedOffset = 120;

// Block 7.
constexpr std::size_t firstPinOffset = 4;
constexpr std::size_t modelVariantOffset = 129;

constexpr std::uint8_t packEnableBit = 0x80;
constexpr std::uint8_t packGapMask = 0x03;
constexpr std::uint8_t highSpeedBit = 0x80;
// Bit 5 of the high-speed byte goes out cleared by every write.
constexpr std::uint8_t highSpeedKeepMask = 0x5F;

// A pin code the list cannot show is read as that pin's "General Purpose In".
constexpr std::array<std::int32_t, pinCount> pinFallbackCodes = {4, 6, 8};
constexpr std::int32_t highestPinCode = 13;

template <std::size_t N>
Ipv4 addressAt(const std::array<std::uint8_t, N>& block, std::size_t offset) {
    static_assert(N >= 4);
    Ipv4 address;
    for (std::size_t i = 0; i < 4 && offset + i < N; ++i) address.bytes[i] = block[offset + i];
    return address;
}

template <std::size_t N>
void putAddress(std::array<std::uint8_t, N>& block, std::size_t offset, const Ipv4& address) {
    for (std::size_t i = 0; i < 4 && offset + i < N; ++i) block[offset + i] = address.bytes[i];
}

template <std::size_t N>
std::int32_t portAt(const std::array<std::uint8_t, N>& block, std::size_t offset) {
    return std::int32_t{block[offset]} + 256 * std::int32_t{block[offset + 1]};
}

// Ports go on the wire low byte first; only the low 16 bits of the number count.
template <std::size_t N>
void putPort(std::array<std::uint8_t, N>& block, std::size_t offset, std::int32_t number) {
    const auto bits = static_cast<std::uint32_t>(number);
    block[offset] = static_cast<std::uint8_t>(bits & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>((bits >> 8) & 0xFF);
}

template <std::size_t N>
void putHeader(std::array<std::uint8_t, N>& block, std::uint8_t writeFlag,
               std::uint8_t blockNumber) {
    block[0] = 0x00;
    block[1] = writeFlag;
    block[2] = 0x00;
    block[3] = static_cast<std::uint8_t>(0xC0 + blockNumber);
}

constexpr std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFF);
}

// Host bits of the natural class mask of an address the device took by itself.
std::uint32_t classHostBits(const Ipv4& address) {
    if (address.bytes[0] <= 127) return 24;
    if (address.bytes[0] <= 191) return 16;
    return 8;
}

// A field holds 0..255 or is blank; anything else cannot come from a
// control and is taken as blank rather than truncated.
bool isFilled(std::int32_t field) { return field >= 0 && field <= 255; }

PatchResult failure(PatchError error) {
    PatchResult result;
    result.error = error;
    return result;
}

}  // namespace

std::array<std::uint8_t, 4> blockReadRequest(std::uint8_t blockNumber) {
    return {0x00, 0x00, 0x00, static_cast<std::uint8_t>(0xE0 + blockNumber)};
}

std::int32_t decodeConfiguration(const ConfigurationBlocks& blocks, const Ipv4& answeredFrom,
                                 DeviceRecord& record) {
    const Block0& b0 = blocks.block0;
    const Block7& b7 = blocks.block7;

    // Byte 6 is deliberately left out: devices on automatic addressing may
    // leave something there.
    if (b0[ipOffset] == 0 && b0[ipOffset + 1] == 0 && b0[ipOffset + 3] == 0) {
        record.dhcp = 1;
        record.ipAddress = answeredFrom;
        record.netmask = maskFromHostBits(classHostBits(answeredFrom));
        record.gateway = Ipv4{};
    } else {
        record.dhcp = 0;
        record.ipAddress = addressAt(b0, ipOffset);
        record.netmask = maskFromHostBits(b0[hostBitsOffset]);
        record.gateway = addressAt(b0, gatewayOffset);
    }

    const std::int32_t baud = baudFromCode(b0[baudCodeOffset]);
    if (baud == -1) return 0;

    // Decoded into locals: a failing format must leave the record's serial
    // fields as they were.
    std::int32_t dataBits = 0;
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
    if (decodeSerialFormat(b0[serialFormatOffset], dataBits, parity, stopBits) == -1) return 0;

    record.baudRate = baud;
    record.localPort = portAt(b0, localPortOffset);
    record.dataBits = dataBits;
    record.stopBits = stopBits;
    record.parity = parity;
    record.flowControl = b0[flowOffset];
    record.connectMode = b0[connectModeOffset];
    record.remoteIp = addressAt(b0, remoteIpOffset);
    record.remotePort = portAt(b0, remotePortOffset);
    record.protocol = (b0[connectModeOffset] & udpConnectNibble) == udpConnectNibble ? 1 : 0;

    std::array<std::int32_t, pinCount> pins{};
    for (std::size_t pin = 0; pin < pins.size(); ++pin) {
        const std::int32_t code = b7[firstPinOffset + pin];
        pins[pin] = code > highestPinCode ? pinFallbackCodes[pin] : code;
    }
    record.cp1Function = pins[0];
    record.cp2Function = pins[1];
    record.cp3Function = pins[2];

    record.keepAlive = b0[keepAliveOffset];
    record.packControl =
        (b0[packEnableOffset] & packEnableBit) != 0 ? (b0[packGapOffset] & packGapMask) + 1 : 0;
    return 1;
}

AddressFields AddressFields::of(const Ipv4& address) {
    AddressFields result;
    for (std::size_t i = 0; i < 4; ++i) result.fields[i] = address.bytes[i];
    return result;
}

std::int32_t AddressFields::filledCount() const {
    std::int32_t count = 0;
    for (const std::int32_t field : fields) {
        if (isFilled(field)) ++count;
    }
    return count;
}

Ipv4 AddressFields::value() const {
    Ipv4 address;
    for (std::size_t i = 0; i < 4; ++i) {
        address.bytes[i] = isFilled(fields[i]) ? static_cast<std::uint8_t>(fields[i]) : 0;
    }
    return address;
}

std::string_view patchErrorMessage(PatchError error) {
    switch (error) {
        case PatchError::subnetMask:
            return subnetMaskErrorMessage;
        case PatchError::setting:
            return settingErrorMessage;
        case PatchError::none:
            break;
    }
    return {};
}

PatchResult patchConfiguration(const ConfigurationBlocks& fetched,
                               const WriteControlValues& controls, std::int32_t pendingKeepAlive,
                               std::optional<std::int32_t> modelVariant) {
    PatchResult result;
    Block0& b0 = result.blocks.block0;
    Block3& b3 = result.blocks.block3;
    Block7& b7 = result.blocks.block7;
    result.blocks = fetched;

    // Address.
    if (controls.dhcpChecked) {
        putAddress(b0, ipOffset, Ipv4{});
        putAddress(b0, gatewayOffset, Ipv4{});
        b0[hostBitsOffset] = 0;
    } else {
        putAddress(b0, ipOffset, controls.ipAddress.value());
        putAddress(b0, gatewayOffset, controls.gateway.value());
        const std::int32_t hostBits = hostBitsFromMask(controls.netmask.value());
        if (hostBits == -1) return failure(PatchError::subnetMask);
        b0[hostBitsOffset] = lowByte(hostBits);
    }

    // The device's current serial format is the base for lists left empty;
    // a format we cannot read stops the write even if every list has a value.
    std::int32_t dataBits = 0;
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
    if (decodeSerialFormat(fetched.block0[serialFormatOffset], dataBits, parity, stopBits) == -1) {
        return failure(PatchError::setting);
    }

    // Port 0 (empty text included) means "keep the device's port".
    const std::int32_t port = decimalValue(controls.portText);
    if (port != 0) putPort(b0, localPortOffset, port);

    const std::int32_t baudCode = codeFromBaud(decimalValue(controls.baudText));
    if (baudCode == -1) return failure(PatchError::setting);
    b0[baudCodeOffset] = lowByte(baudCode);

    if (const std::int32_t v = dataBitsAtListPosition(controls.dataBitsPosition); v != -1) {
        dataBits = v;
    }
    if (const std::int32_t v = stopBitsAtListPosition(controls.stopBitsPosition); v != -1) {
        stopBits = v;
    }
    if (const std::int32_t v = parityAtListPosition(controls.parityPosition); v != -1) {
        parity = v;
    }
    std::uint8_t format = 0;
    if (encodeSerialFormat(format, dataBits, parity, stopBits) == -1) {
        return failure(PatchError::setting);
    }
    b0[serialFormatOffset] = format;

    if (const std::int32_t code = flowCodeAtListPosition(controls.flowPosition); code != -1) {
        b0[flowOffset] = lowByte(code);
    }

    // Connect mode: the high nibble is the device's own. Anything but TCP,
    // no selection included, is written as UDP.
    b0[connectModeOffset] &= 0xF0;
    if (controls.protocolPosition != 0) {
        b0[connectModeOffset] |= udpConnectNibble;
        b0[udpMarkerOffset] = 1;
    } else {
        if (const std::int32_t nibble = connectNibbleAtListPosition(controls.connectPosition);
            nibble != -1) {
            b0[connectModeOffset] |= lowByte(nibble & 0x0F);
        }
        b0[udpMarkerOffset] = 0;
    }

    // A remote address with a blank field is not an address: keep the device's.
    if (controls.remoteIp.filledCount() == 4) {
        putAddress(b0, remoteIpOffset, controls.remoteIp.value());
    }
    putPort(b0, remotePortOffset, decimalValue(controls.remotePortText));

    b3[highSpeedOffset] &= highSpeedKeepMask;
    if (controls.baudPosition >= firstHighSpeedBaudPosition) b3[highSpeedOffset] |= highSpeedBit;

    // A pin list without a usable selection keeps the device's code rather
    // than writing an empty slot's -1.
    const std::array<std::int32_t, pinCount> pinPositions = {
        controls.cp1Position, controls.cp2Position, controls.cp3Position};
    for (std::int32_t pin = 0; pin < pinCount; ++pin) {
        const std::int32_t code = pinCodeAt(pin, pinPositions[static_cast<std::size_t>(pin)]);
        if (code != -1) b7[firstPinOffset + static_cast<std::size_t>(pin)] = lowByte(code);
    }

    b0[keepAliveOffset] = lowByte(pendingKeepAlive);

    if (controls.packPosition == 0) {
        b0[packEnableOffset] &= static_cast<std::uint8_t>(~packEnableBit);
        b0[packGapOffset] &= static_cast<std::uint8_t>(~packGapMask);
    } else if (controls.packPosition >= 1 &&
               controls.packPosition < static_cast<std::int32_t>(packTexts.size())) {
        b0[packEnableOffset] |= packEnableBit;
        b0[packGapOffset] = static_cast<std::uint8_t>((b0[packGapOffset] & ~packGapMask) |
                                                      lowByte(controls.packPosition - 1));
    }

    if (modelVariant == 1) {
        b7[modelVariantOffset] = 0;
    } else if (modelVariant == 2) {
        b7[modelVariantOffset] = 1;
    }

    putHeader(b0, 1, 0);
    putHeader(b3, 1, 3);
    putHeader(b7, 0, 7);
    return result;
}

}  // namespace tamro
