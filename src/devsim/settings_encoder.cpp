#include "devsim/settings_encoder.h"

#include <algorithm>

#include "devsim/definition_values.h"
#include "protocol/vocabulary.h"

namespace tamro::devsim {

namespace {

using nlohmann::json;

void putAddress(std::uint8_t* target, const Ipv4& address) {
    std::copy(address.bytes.begin(), address.bytes.end(), target);
}

}  // namespace

void encodeSettings(ConfigurationBlocks& blocks, const json& settings, const Ipv4& deviceAddress,
                    bool withDefaults, const std::string& where) {
    rejectUnknownKeys(settings,
                      {"dhcp", "ip", "mask", "gateway", "keep_alive", "data_bits", "parity",
                       "stop_bits", "baud", "flow", "local_port", "remote_port", "remote_ip",
                       "protocol", "connect", "connect_mode", "pack_control", "cp1", "cp2", "cp3",
                       "model_variant"},
                      where);
    auto& b0 = blocks.block0;
    auto given = [&](const char* key) { return settings.contains(key); };
    auto at = [&](const char* key) { return where + "." + key; };

    bool dhcp = false;
    if (given("dhcp")) {
        if (!settings["dhcp"].is_boolean()) fail(at("dhcp"), "must be true or false");
        dhcp = settings["dhcp"].get<bool>();
    }
    if (dhcp) {
        if (given("ip") || given("mask") || given("gateway")) {
            fail(where, "dhcp excludes ip, mask and gateway");
        }
        std::fill_n(b0.begin() + block0Offset::ip, 4, 0);
        b0[block0Offset::hostBits] = 0;
        std::fill_n(b0.begin() + block0Offset::gateway, 4, 0);
    } else {
        if (given("ip") || withDefaults) {
            putAddress(&b0[block0Offset::ip],
                       given("ip") ? addressOf(settings["ip"], at("ip")) : deviceAddress);
        }
        if (given("mask") || withDefaults) {
            const Ipv4 mask = given("mask") ? addressOf(settings["mask"], at("mask"))
                                            : Ipv4::fromOctets(255, 255, 255, 0);
            const std::int32_t hostBits = hostBitsFromMask(mask);
            if (hostBits < 0) fail(at("mask"), "is not contiguous");
            b0[block0Offset::hostBits] = static_cast<std::uint8_t>(hostBits);
        }
        if (given("gateway") || withDefaults) {
            putAddress(&b0[block0Offset::gateway],
                       given("gateway") ? addressOf(settings["gateway"], at("gateway")) : Ipv4{});
        }
    }

    if (given("keep_alive") || withDefaults) {
        b0[block0Offset::keepAlive] = static_cast<std::uint8_t>(
            given("keep_alive") ? integerIn(settings["keep_alive"], 0, 255, at("keep_alive")) : 0);
    }

    if (given("data_bits") || given("parity") || given("stop_bits") || withDefaults) {
        std::int32_t dataBits = 8;
        std::int32_t parity = 0;
        std::int32_t stopBits = 1;
        if (!withDefaults &&
            decodeSerialFormat(b0[block0Offset::serialFormat], dataBits, parity, stopBits) != 0) {
            fail(where, "serial settings need a valid format byte in block0 to start from");
        }
        if (given("data_bits")) {
            dataBits = static_cast<std::int32_t>(integerIn(settings["data_bits"], 7, 8, at("data_bits")));
        }
        if (given("stop_bits")) {
            stopBits = static_cast<std::int32_t>(integerIn(settings["stop_bits"], 1, 2, at("stop_bits")));
        }
        if (given("parity")) {
            const std::string text = textOf(settings["parity"], at("parity"));
            if (text == "none") parity = 0;
            else if (text == "odd") parity = 1;
            else if (text == "even") parity = 2;
            else fail(at("parity"), "must be none, odd or even");
        }
        std::uint8_t format = 0;
        encodeSerialFormat(format, dataBits, parity, stopBits);
        // Bits 0-1 mean nothing to the tool; they keep what was there.
        b0[block0Offset::serialFormat] =
            static_cast<std::uint8_t>((b0[block0Offset::serialFormat] & 0x03) | format);
    }

    if (given("baud") || withDefaults) {
        const auto baud = given("baud")
                              ? integerIn(settings["baud"], 0, 10'000'000, at("baud"))
                              : std::int64_t{9600};
        const std::int32_t code = codeFromBaud(static_cast<std::int32_t>(baud));
        if (code < 0) fail(at("baud"), "has no device code");
        b0[block0Offset::baudCode] = static_cast<std::uint8_t>(code);
        const bool highSpeed = baud >= 460800;
        auto& flag = blocks.block3[block3Offset::highSpeed];
        flag = static_cast<std::uint8_t>((flag & ~highSpeedBit) | (highSpeed ? highSpeedBit : 0));
    }

    if (given("flow") || withDefaults) {
        b0[block0Offset::flow] =
            static_cast<std::uint8_t>(given("flow") ? integerIn(settings["flow"], 0, 255, at("flow")) : 0);
    }

    auto putPort = [&](std::size_t at16, std::int64_t port) {
        b0[at16] = static_cast<std::uint8_t>(port & 0xFF);
        b0[at16 + 1] = static_cast<std::uint8_t>((port >> 8) & 0xFF);
    };
    if (given("local_port") || withDefaults) {
        putPort(block0Offset::localPort,
                given("local_port") ? integerIn(settings["local_port"], 0, 65535, at("local_port"))
                                    : 10001);
    }
    if (given("remote_port") || withDefaults) {
        putPort(block0Offset::remotePort,
                given("remote_port") ? integerIn(settings["remote_port"], 0, 65535, at("remote_port"))
                                     : 0);
    }
    if (given("remote_ip") || withDefaults) {
        putAddress(&b0[block0Offset::remoteIp],
                   given("remote_ip") ? addressOf(settings["remote_ip"], at("remote_ip")) : Ipv4{});
    }

    if (given("connect_mode")) {
        if (given("protocol") || given("connect")) {
            fail(where, "connect_mode excludes protocol and connect");
        }
        const auto mode = static_cast<std::uint8_t>(
            integerIn(settings["connect_mode"], 0, 255, at("connect_mode")));
        b0[block0Offset::connectMode] = mode;
        b0[block0Offset::udpMarker] = (mode & udpConnectNibble) == udpConnectNibble ? 1 : 0;
    } else if (given("protocol") || given("connect") || withDefaults) {
        bool udp = false;
        if (given("protocol")) {
            const std::string text = textOf(settings["protocol"], at("protocol"));
            if (text == "udp") udp = true;
            else if (text != "tcp") fail(at("protocol"), "must be tcp or udp");
        }
        std::uint8_t nibble = 0;
        if (given("connect")) {
            const std::string text = textOf(settings["connect"], at("connect"));
            if (text == "serial") nibble = connectNibbles[1];
            else if (text == "power-on") nibble = connectNibbles[2];
            else if (text != "none") fail(at("connect"), "must be none, serial or power-on");
        }
        if (udp) nibble = udpConnectNibble;
        b0[block0Offset::connectMode] =
            static_cast<std::uint8_t>((b0[block0Offset::connectMode] & 0xF0) | nibble);
        b0[block0Offset::udpMarker] = udp ? 1 : 0;
    }

    if (given("pack_control") || withDefaults) {
        const auto pack = given("pack_control")
                              ? integerIn(settings["pack_control"], 0, 4, at("pack_control"))
                              : 0;
        auto& enable = b0[block0Offset::packEnable];
        auto& gap = b0[block0Offset::packGap];
        enable =
            static_cast<std::uint8_t>((enable & ~packEnableBit) | (pack > 0 ? packEnableBit : 0));
        gap = static_cast<std::uint8_t>((gap & ~packGapMask) | (pack > 0 ? (pack - 1) : 0));
    }

    constexpr std::array<const char*, 3> pinKeys = {"cp1", "cp2", "cp3"};
    constexpr std::array<std::uint8_t, 3> pinDefaults = {4, 6, 8};
    for (std::size_t pin = 0; pin < pinKeys.size(); ++pin) {
        if (given(pinKeys[pin]) || withDefaults) {
            blocks.block7[block7Offset::firstPin + pin] = static_cast<std::uint8_t>(
                given(pinKeys[pin]) ? integerIn(settings[pinKeys[pin]], 0, 255, at(pinKeys[pin]))
                                    : pinDefaults[pin]);
        }
    }
    if (given("model_variant") || withDefaults) {
        blocks.block7[block7Offset::modelVariant] = static_cast<std::uint8_t>(
            given("model_variant")
                ? integerIn(settings["model_variant"], 0, 255, at("model_variant"))
                : 0);
    }
}

}  // namespace tamro::devsim
