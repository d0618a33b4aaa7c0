#include "protocol/config_blocks.h"

#include <cstddef>

#include "platform/text.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"

namespace tamro {

namespace {

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

void putWriteHeaders(ConfigurationBlocks& blocks) {
    for (std::size_t slot = 0; slot < configurationBlockNumbers.size(); ++slot) {
        const auto block = blockBytes(blocks, slot);
        block[0] = 0x00;
        block[1] = blockWriteFlags[slot];
        block[2] = 0x00;
        block[3] = blockWriteCommand(configurationBlockNumbers[slot]);
    }
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
    return {0x00, 0x00, 0x00, blockReadCommand(blockNumber)};
}

std::int32_t decodeConfiguration(const ConfigurationBlocks& blocks, const Ipv4& answeredFrom,
                                 DeviceRecord& record) {
    const Block0& b0 = blocks.block0;
    const Block7& b7 = blocks.block7;

    if (holdsAutomaticAddress(b0)) {
        record.dhcp = 1;
        record.ipAddress = answeredFrom;
        record.netmask = maskFromHostBits(classHostBits(answeredFrom));
        record.gateway = Ipv4{};
    } else {
        record.dhcp = 0;
        record.ipAddress = addressAt(b0, block0Offset::ip);
        record.netmask = maskFromHostBits(b0[block0Offset::hostBits]);
        record.gateway = addressAt(b0, block0Offset::gateway);
    }

    const std::int32_t baud = baudFromCode(b0[block0Offset::baudCode]);
    if (baud == -1) return 0;

    // Decoded into locals: a failing format must leave the record's serial
    // fields as they were.
    std::int32_t dataBits = 0;
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
    if (decodeSerialFormat(b0[block0Offset::serialFormat], dataBits, parity, stopBits) == -1) {
        return 0;
    }

    record.baudRate = baud;
    record.localPort = portAt(b0, block0Offset::localPort);
    record.dataBits = dataBits;
    record.stopBits = stopBits;
    record.parity = parity;
    record.flowControl = b0[block0Offset::flow];
    record.connectMode = b0[block0Offset::connectMode];
    record.remoteIp = addressAt(b0, block0Offset::remoteIp);
    record.remotePort = portAt(b0, block0Offset::remotePort);
    record.protocol =
        (b0[block0Offset::connectMode] & udpConnectNibble) == udpConnectNibble ? 1 : 0;

    std::array<std::int32_t, pinCount> pins{};
    for (std::size_t pin = 0; pin < pins.size(); ++pin) {
        const std::int32_t code = b7[block7Offset::firstPin + pin];
        pins[pin] = code > highestPinCode ? pinFallbackCodes[pin] : code;
    }
    record.cp1Function = pins[0];
    record.cp2Function = pins[1];
    record.cp3Function = pins[2];

    record.keepAlive = b0[block0Offset::keepAlive];
    record.packControl = (b0[block0Offset::packEnable] & packEnableBit) != 0
                             ? (b0[block0Offset::packGap] & packGapMask) + 1
                             : 0;
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
        putAddress(b0, block0Offset::ip, Ipv4{});
        putAddress(b0, block0Offset::gateway, Ipv4{});
        b0[block0Offset::hostBits] = 0;
    } else {
        putAddress(b0, block0Offset::ip, controls.ipAddress.value());
        putAddress(b0, block0Offset::gateway, controls.gateway.value());
        const std::int32_t hostBits = hostBitsFromMask(controls.netmask.value());
        if (hostBits == -1) return failure(PatchError::subnetMask);
        b0[block0Offset::hostBits] = lowByte(hostBits);
    }

    // The device's current serial format is the base for lists left empty;
    // a format we cannot read stops the write even if every list has a value.
    std::int32_t dataBits = 0;
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
    if (decodeSerialFormat(fetched.block0[block0Offset::serialFormat], dataBits, parity,
                           stopBits) == -1) {
        return failure(PatchError::setting);
    }

    // Port 0 (empty text included) means "keep the device's port".
    const std::int32_t port = decimalValue(controls.portText);
    if (port != 0) putPort(b0, block0Offset::localPort, port);

    const std::int32_t baudCode = codeFromBaud(decimalValue(controls.baudText));
    if (baudCode == -1) return failure(PatchError::setting);
    b0[block0Offset::baudCode] = lowByte(baudCode);

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
    b0[block0Offset::serialFormat] = format;

    if (const std::int32_t code = flowCodeAtListPosition(controls.flowPosition); code != -1) {
        b0[block0Offset::flow] = lowByte(code);
    }

    // Connect mode: the high nibble is the device's own. Anything but TCP,
    // no selection included, is written as UDP.
    b0[block0Offset::connectMode] &= 0xF0;
    if (controls.protocolPosition != 0) {
        b0[block0Offset::connectMode] |= udpConnectNibble;
        b0[block0Offset::udpMarker] = 1;
    } else {
        if (const std::int32_t nibble = connectNibbleAtListPosition(controls.connectPosition);
            nibble != -1) {
            b0[block0Offset::connectMode] |= lowByte(nibble & 0x0F);
        }
        b0[block0Offset::udpMarker] = 0;
    }

    // A remote address with a blank field is not an address: keep the device's.
    if (controls.remoteIp.filledCount() == 4) {
        putAddress(b0, block0Offset::remoteIp, controls.remoteIp.value());
    }
    putPort(b0, block0Offset::remotePort, decimalValue(controls.remotePortText));

    b3[block3Offset::highSpeed] &= highSpeedKeepMask;
    if (controls.baudPosition >= firstHighSpeedBaudPosition) {
        b3[block3Offset::highSpeed] |= highSpeedBit;
    }

    // A pin list without a usable selection keeps the device's code rather
    // than writing an empty slot's -1.
    const std::array<std::int32_t, pinCount> pinPositions = {
        controls.cp1Position, controls.cp2Position, controls.cp3Position};
    for (std::int32_t pin = 0; pin < pinCount; ++pin) {
        const std::int32_t code = pinCodeAt(pin, pinPositions[static_cast<std::size_t>(pin)]);
        if (code != -1) b7[block7Offset::firstPin + static_cast<std::size_t>(pin)] = lowByte(code);
    }

    b0[block0Offset::keepAlive] = lowByte(pendingKeepAlive);

    if (controls.packPosition == 0) {
        b0[block0Offset::packEnable] &= static_cast<std::uint8_t>(~packEnableBit);
        b0[block0Offset::packGap] &= static_cast<std::uint8_t>(~packGapMask);
    } else if (controls.packPosition >= 1 &&
               controls.packPosition < static_cast<std::int32_t>(packTexts.size())) {
        b0[block0Offset::packEnable] |= packEnableBit;
        auto& gap = b0[block0Offset::packGap];
        gap = static_cast<std::uint8_t>((gap & ~packGapMask) | lowByte(controls.packPosition - 1));
    }

    if (modelVariant == 1) {
        b7[block7Offset::modelVariant] = 0;
    } else if (modelVariant == 2) {
        b7[block7Offset::modelVariant] = 1;
    }

    putWriteHeaders(result.blocks);
    return result;
}

}  // namespace tamro
