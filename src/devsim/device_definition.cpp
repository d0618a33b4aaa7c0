#include "devsim/device_definition.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "protocol/vocabulary.h"

namespace tamro::devsim {

namespace {

using nlohmann::json;

constexpr std::array<std::uint8_t, 3> blockNumbers = {0, 3, 7};
constexpr std::array<std::size_t, 3> blockLengths = {block0Length, block3Length, block7Length};

// The device's own view of the block bytes it is configured with.
namespace offset {
constexpr std::size_t ip = 4;
constexpr std::size_t hostBits = 10;
constexpr std::size_t keepAlive = 11;
constexpr std::size_t gateway = 16;
constexpr std::size_t serialFormat = 20;
constexpr std::size_t baudCode = 21;
constexpr std::size_t flow = 22;
constexpr std::size_t localPort = 24;
constexpr std::size_t remotePort = 26;
constexpr std::size_t remoteIp = 28;
constexpr std::size_t connectMode = 32;
constexpr std::size_t udpMarker = 33;
constexpr std::size_t packEnable = 38;
constexpr std::size_t packGap = 39;
constexpr std::size_t highSpeed = 120;  // block 3
constexpr std::size_t firstPin = 4;     // block 7
constexpr std::size_t modelVariant = 129;
}  // namespace offset

// A configuration mistake, caught at the top of the parse and turned into a message.
struct DefinitionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw DefinitionError(where + ": " + what);
}

void rejectUnknownKeys(const json& object, std::initializer_list<const char*> known,
                       const std::string& where) {
    if (!object.is_object()) fail(where, "must be an object");
    for (const auto& item : object.items()) {
        const bool isKnown = std::any_of(known.begin(), known.end(),
                                         [&](const char* key) { return item.key() == key; });
        if (!isKnown) fail(where, "unknown key \"" + item.key() + "\"");
    }
}

std::int64_t integerIn(const json& value, std::int64_t low, std::int64_t high,
                       const std::string& where) {
    if (!value.is_number_integer()) fail(where, "must be an integer");
    const auto number = value.get<std::int64_t>();
    if (number < low || number > high) {
        fail(where, "must be between " + std::to_string(low) + " and " + std::to_string(high));
    }
    return number;
}

std::string textOf(const json& value, const std::string& where) {
    if (!value.is_string()) fail(where, "must be a string");
    return value.get<std::string>();
}

Ipv4 addressOf(const json& value, const std::string& where) {
    const auto parsed = parseDottedText(textOf(value, where));
    if (!parsed) fail(where, "must be a dotted IPv4 address");
    return *parsed;
}

// An address a socket can be bound to and a datagram can come from.
bool isUsableUnicast(const Ipv4& address) {
    const auto first = address.bytes[0];
    return first != 0 && first != 127 && first < 224;
}

Ipv4 sourceAddressOf(const json& value, const std::string& where) {
    const Ipv4 address = addressOf(value, where);
    if (!isUsableUnicast(address)) fail(where, "is not a usable unicast address");
    return address;
}

void putAddress(std::uint8_t* target, const Ipv4& address) {
    std::copy(address.bytes.begin(), address.bytes.end(), target);
}

std::size_t slotOfKey(const std::string& key, const std::string& where) {
    if (key.empty() || key.size() > 1 || key[0] < '0' || key[0] > '9') {
        fail(where, "block must be 0, 3 or 7");
    }
    const auto slot = blockSlot(static_cast<std::uint32_t>(key[0] - '0'));
    if (!slot) fail(where, "block must be 0, 3 or 7");
    return *slot;
}

std::size_t slotOfNumber(const json& value, const std::string& where) {
    const auto number = integerIn(value, 0, 7, where);
    const auto slot = blockSlot(static_cast<std::uint32_t>(number));
    if (!slot) fail(where, "block must be 0, 3 or 7");
    return *slot;
}

std::array<bool, 3> blockSet(const json& value, const std::string& where) {
    if (!value.is_array()) fail(where, "must be a list of block numbers");
    std::array<bool, 3> set{};
    for (const auto& item : value) set[slotOfNumber(item, where)] = true;
    return set;
}

std::vector<std::size_t> splitSizes(const json& value, const std::string& where) {
    if (!value.is_array() || value.empty()) fail(where, "must be a non-empty list of sizes");
    std::vector<std::size_t> sizes;
    for (const auto& item : value) {
        sizes.push_back(static_cast<std::size_t>(integerIn(item, 0, maxReplyLength, where)));
    }
    return sizes;
}

std::uint8_t* blockData(ConfigurationBlocks& blocks, std::size_t slot) {
    switch (slot) {
        case 0: return blocks.block0.data();
        case 1: return blocks.block3.data();
        default: return blocks.block7.data();
    }
}

void fillBlocks(ConfigurationBlocks& blocks, const Mac& mac) {
    for (std::size_t slot = 0; slot < 3; ++slot) {
        std::uint8_t* data = blockData(blocks, slot);
        for (std::size_t i = 0; i < blockLengths[slot]; ++i) data[i] = fillerByte(mac, slot, i);
        // The header a device sends back with a block: the read command itself.
        data[0] = 0x00;
        data[1] = 0x00;
        data[2] = 0x00;
        data[3] = static_cast<std::uint8_t>(0xE0 + blockNumbers[slot]);
    }
}

// Writes the named settings into the blocks. With `withDefaults`, a setting
// that is not given takes its default; without, it leaves the bytes alone.
void applySettings(ConfigurationBlocks& blocks, const json& settings, const Ipv4& deviceAddress,
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
        std::fill_n(b0.begin() + offset::ip, 4, 0);
        b0[offset::hostBits] = 0;
        std::fill_n(b0.begin() + offset::gateway, 4, 0);
    } else {
        if (given("ip") || withDefaults) {
            putAddress(&b0[offset::ip],
                       given("ip") ? addressOf(settings["ip"], at("ip")) : deviceAddress);
        }
        if (given("mask") || withDefaults) {
            const Ipv4 mask = given("mask") ? addressOf(settings["mask"], at("mask"))
                                            : Ipv4::fromOctets(255, 255, 255, 0);
            const std::int32_t hostBits = hostBitsFromMask(mask);
            if (hostBits < 0) fail(at("mask"), "is not contiguous");
            b0[offset::hostBits] = static_cast<std::uint8_t>(hostBits);
        }
        if (given("gateway") || withDefaults) {
            putAddress(&b0[offset::gateway],
                       given("gateway") ? addressOf(settings["gateway"], at("gateway")) : Ipv4{});
        }
    }

    if (given("keep_alive") || withDefaults) {
        b0[offset::keepAlive] = static_cast<std::uint8_t>(
            given("keep_alive") ? integerIn(settings["keep_alive"], 0, 255, at("keep_alive")) : 0);
    }

    if (given("data_bits") || given("parity") || given("stop_bits") || withDefaults) {
        std::int32_t dataBits = 8;
        std::int32_t parity = 0;
        std::int32_t stopBits = 1;
        if (!withDefaults &&
            decodeSerialFormat(b0[offset::serialFormat], dataBits, parity, stopBits) != 0) {
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
        b0[offset::serialFormat] =
            static_cast<std::uint8_t>((b0[offset::serialFormat] & 0x03) | format);
    }

    if (given("baud") || withDefaults) {
        const auto baud = given("baud")
                              ? integerIn(settings["baud"], 0, 10'000'000, at("baud"))
                              : std::int64_t{9600};
        const std::int32_t code = codeFromBaud(static_cast<std::int32_t>(baud));
        if (code < 0) fail(at("baud"), "has no device code");
        b0[offset::baudCode] = static_cast<std::uint8_t>(code);
        const bool highSpeed = baud >= 460800;
        auto& flag = blocks.block3[offset::highSpeed];
        flag = static_cast<std::uint8_t>((flag & 0x7F) | (highSpeed ? 0x80 : 0x00));
    }

    if (given("flow") || withDefaults) {
        b0[offset::flow] =
            static_cast<std::uint8_t>(given("flow") ? integerIn(settings["flow"], 0, 255, at("flow")) : 0);
    }

    auto putPort = [&](std::size_t at16, std::int64_t port) {
        b0[at16] = static_cast<std::uint8_t>(port & 0xFF);
        b0[at16 + 1] = static_cast<std::uint8_t>((port >> 8) & 0xFF);
    };
    if (given("local_port") || withDefaults) {
        putPort(offset::localPort,
                given("local_port") ? integerIn(settings["local_port"], 0, 65535, at("local_port"))
                                    : 10001);
    }
    if (given("remote_port") || withDefaults) {
        putPort(offset::remotePort,
                given("remote_port") ? integerIn(settings["remote_port"], 0, 65535, at("remote_port"))
                                     : 0);
    }
    if (given("remote_ip") || withDefaults) {
        putAddress(&b0[offset::remoteIp],
                   given("remote_ip") ? addressOf(settings["remote_ip"], at("remote_ip")) : Ipv4{});
    }

    if (given("connect_mode")) {
        if (given("protocol") || given("connect")) {
            fail(where, "connect_mode excludes protocol and connect");
        }
        const auto mode = static_cast<std::uint8_t>(
            integerIn(settings["connect_mode"], 0, 255, at("connect_mode")));
        b0[offset::connectMode] = mode;
        b0[offset::udpMarker] = (mode & udpConnectNibble) == udpConnectNibble ? 1 : 0;
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
        b0[offset::connectMode] =
            static_cast<std::uint8_t>((b0[offset::connectMode] & 0xF0) | nibble);
        b0[offset::udpMarker] = udp ? 1 : 0;
    }

    if (given("pack_control") || withDefaults) {
        const auto pack = given("pack_control")
                              ? integerIn(settings["pack_control"], 0, 4, at("pack_control"))
                              : 0;
        auto& enable = b0[offset::packEnable];
        auto& gap = b0[offset::packGap];
        enable = static_cast<std::uint8_t>((enable & 0x7F) | (pack > 0 ? 0x80 : 0x00));
        gap = static_cast<std::uint8_t>((gap & 0xFC) | (pack > 0 ? (pack - 1) : 0));
    }

    constexpr std::array<const char*, 3> pinKeys = {"cp1", "cp2", "cp3"};
    constexpr std::array<std::uint8_t, 3> pinDefaults = {4, 6, 8};
    for (std::size_t pin = 0; pin < pinKeys.size(); ++pin) {
        if (given(pinKeys[pin]) || withDefaults) {
            blocks.block7[offset::firstPin + pin] = static_cast<std::uint8_t>(
                given(pinKeys[pin]) ? integerIn(settings[pinKeys[pin]], 0, 255, at(pinKeys[pin]))
                                    : pinDefaults[pin]);
        }
    }
    if (given("model_variant") || withDefaults) {
        blocks.block7[offset::modelVariant] = static_cast<std::uint8_t>(
            given("model_variant")
                ? integerIn(settings["model_variant"], 0, 255, at("model_variant"))
                : 0);
    }
}

FaultDefinition parseFaults(const json& faults, const std::string& where) {
    rejectUnknownKeys(faults,
                      {"silent_reads", "silent_writes", "split", "split_gap_ms", "oversize",
                       "discovery_delay_ms", "block_delay_ms", "discovery_twice",
                       "discovery_broadcast", "reply_from", "discovery_from", "spoof",
                       "keep_on_write"},
                      where);
    auto at = [&](const std::string& key) { return where + "." + key; };
    auto flag = [&](const char* key) {
        if (!faults.contains(key)) return false;
        if (!faults[key].is_boolean()) fail(at(key), "must be true or false");
        return faults[key].get<bool>();
    };
    FaultDefinition definition;
    if (faults.contains("silent_reads")) definition.silentRead = blockSet(faults["silent_reads"], at("silent_reads"));
    if (faults.contains("silent_writes")) definition.silentWrite = blockSet(faults["silent_writes"], at("silent_writes"));
    if (faults.contains("split")) {
        const json& split = faults["split"];
        if (!split.is_object()) fail(at("split"), "must be an object");
        for (const auto& item : split.items()) {
            const std::string key = at("split." + item.key());
            if (item.key() == "discovery") definition.discoverySplit = splitSizes(item.value(), key);
            else definition.readSplit[slotOfKey(item.key(), key)] = splitSizes(item.value(), key);
        }
    }
    if (faults.contains("split_gap_ms")) {
        definition.splitGapMs = static_cast<std::int32_t>(integerIn(faults["split_gap_ms"], 0, 60'000, at("split_gap_ms")));
    }
    if (faults.contains("oversize")) {
        const json& oversize = faults["oversize"];
        if (!oversize.is_object()) fail(at("oversize"), "must be an object");
        for (const auto& item : oversize.items()) {
            const std::string key = at("oversize." + item.key());
            const auto extra = static_cast<std::size_t>(integerIn(item.value(), 0, 1000, key));
            if (item.key() == "discovery") definition.discoveryOversize = extra;
            else definition.readOversize[slotOfKey(item.key(), key)] = extra;
        }
    }
    if (faults.contains("discovery_delay_ms")) {
        definition.discoveryDelayMs = static_cast<std::int32_t>(
            integerIn(faults["discovery_delay_ms"], 0, 60'000, at("discovery_delay_ms")));
    }
    if (faults.contains("block_delay_ms")) {
        definition.blockDelayMs = static_cast<std::int32_t>(
            integerIn(faults["block_delay_ms"], 0, 60'000, at("block_delay_ms")));
    }
    definition.discoveryTwice = flag("discovery_twice");
    // true: the limited broadcast; an address: that one (the subnet's broadcast).
    if (faults.contains("discovery_broadcast") && faults["discovery_broadcast"].is_string()) {
        definition.discoveryBroadcastTo =
            addressOf(faults["discovery_broadcast"], at("discovery_broadcast"));
    } else if (flag("discovery_broadcast")) {
        definition.discoveryBroadcastTo = limitedBroadcast;
    }
    if (faults.contains("reply_from")) definition.replyFrom = sourceAddressOf(faults["reply_from"], at("reply_from"));
    if (faults.contains("discovery_from")) {
        definition.discoveryFrom = sourceAddressOf(faults["discovery_from"], at("discovery_from"));
    }
    if (faults.contains("spoof")) {
        const json& spoof = faults["spoof"];
        const std::string key = at("spoof");
        rejectUnknownKeys(spoof, {"from", "length", "fill", "blocks"}, key);
        if (!spoof.contains("from") || !spoof.contains("length")) fail(key, "needs from and length");
        definition.spoofFrom = sourceAddressOf(spoof["from"], key + ".from");
        definition.spoofLength = static_cast<std::size_t>(integerIn(spoof["length"], 0, maxReplyLength, key + ".length"));
        if (spoof.contains("fill")) {
            definition.spoofFill = static_cast<std::uint8_t>(integerIn(spoof["fill"], 0, 255, key + ".fill"));
        }
        if (spoof.contains("blocks")) definition.spoofBlocks = blockSet(spoof["blocks"], key + ".blocks");
    }
    if (faults.contains("keep_on_write")) {
        const json& ranges = faults["keep_on_write"];
        if (!ranges.is_array()) fail(at("keep_on_write"), "must be a list");
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            const std::string key = at("keep_on_write[" + std::to_string(i) + "]");
            rejectUnknownKeys(ranges[i], {"block", "offset", "length"}, key);
            if (!ranges[i].contains("block") || !ranges[i].contains("offset")) {
                fail(key, "needs block and offset");
            }
            ByteRange range;
            range.slot = slotOfNumber(ranges[i]["block"], key + ".block");
            const auto size = static_cast<std::int64_t>(blockLengths[range.slot]);
            // The header says which block a write is; keeping it would be another fault.
            range.offset = static_cast<std::size_t>(
                integerIn(ranges[i]["offset"], 4, size - 1, key + ".offset"));
            range.length = ranges[i].contains("length")
                               ? static_cast<std::size_t>(integerIn(
                                     ranges[i]["length"], 1,
                                     size - static_cast<std::int64_t>(range.offset),
                                     key + ".length"))
                               : 1;
            definition.keepOnWrite.push_back(range);
        }
    }
    return definition;
}

DeviceDefinition parseDevice(const json& device, std::size_t index) {
    const std::string where = "devices[" + std::to_string(index) + "]";
    rejectUnknownKeys(device,
                      {"address", "mac", "type_code", "discovery_hex", "settings", "block0",
                       "block3", "block7", "patch", "restart_ms", "faults"},
                      where);
    auto at = [&](const std::string& key) { return where + "." + key; };
    if (!device.contains("address") || !device.contains("mac")) fail(where, "needs address and mac");

    DeviceDefinition definition;
    definition.address = sourceAddressOf(device["address"], at("address"));
    const auto mac = parseMac(textOf(device["mac"], at("mac")));
    if (!mac) fail(at("mac"), "must be six hex bytes, e.g. 02-00-00-00-12-34");
    definition.mac = *mac;

    if (device.contains("type_code")) {
        const std::string code = textOf(device["type_code"], at("type_code"));
        if (code.size() != 2) fail(at("type_code"), "must be two characters");
        definition.typeCode = {static_cast<std::uint8_t>(code[0]), static_cast<std::uint8_t>(code[1])};
    }
    if (device.contains("discovery_hex")) {
        const auto bytes = parseHex(textOf(device["discovery_hex"], at("discovery_hex")));
        if (!bytes || bytes->size() > maxReplyLength) fail(at("discovery_hex"), "must be hex bytes");
        definition.discoveryReply = *bytes;
    } else {
        definition.discoveryReply = buildDiscoveryReply(definition.mac, definition.typeCode);
    }

    // Settings build on the filler with defaults; blocks given as hex then
    // replace theirs, and only the settings named explicitly go on top of them.
    const json settings = device.contains("settings") ? device["settings"] : json::object();
    fillBlocks(definition.blocks, definition.mac);
    applySettings(definition.blocks, settings, definition.address, true, at("settings"));
    bool anyHex = false;
    constexpr std::array<const char*, 3> blockKeys = {"block0", "block3", "block7"};
    for (std::size_t slot = 0; slot < 3; ++slot) {
        if (!device.contains(blockKeys[slot])) continue;
        anyHex = true;
        const auto bytes = parseHex(textOf(device[blockKeys[slot]], at(blockKeys[slot])));
        if (!bytes || bytes->size() != blockLengths[slot]) {
            fail(at(blockKeys[slot]), "must be " + std::to_string(blockLengths[slot]) + " hex bytes");
        }
        std::copy(bytes->begin(), bytes->end(), blockData(definition.blocks, slot));
    }
    if (anyHex) applySettings(definition.blocks, settings, definition.address, false, at("settings"));

    if (device.contains("patch")) {
        const json& patches = device["patch"];
        if (!patches.is_array()) fail(at("patch"), "must be a list");
        for (std::size_t i = 0; i < patches.size(); ++i) {
            const std::string key = at("patch[" + std::to_string(i) + "]");
            const json& patch = patches[i];
            rejectUnknownKeys(patch, {"block", "offset", "hex"}, key);
            if (!patch.contains("block") || !patch.contains("offset") || !patch.contains("hex")) {
                fail(key, "needs block, offset and hex");
            }
            const std::size_t slot = slotOfNumber(patch["block"], key + ".block");
            const auto start = static_cast<std::size_t>(
                integerIn(patch["offset"], 0, static_cast<std::int64_t>(blockLengths[slot]) - 1,
                          key + ".offset"));
            const auto bytes = parseHex(textOf(patch["hex"], key + ".hex"));
            if (!bytes || bytes->size() > blockLengths[slot] - start) {
                fail(key, "hex must be bytes that fit inside the block");
            }
            std::copy(bytes->begin(), bytes->end(), blockData(definition.blocks, slot) + start);
        }
    }

    if (device.contains("restart_ms")) {
        definition.restartMs = static_cast<std::int32_t>(integerIn(device["restart_ms"], 0, 600'000, at("restart_ms")));
    }
    if (device.contains("faults")) definition.faults = parseFaults(device["faults"], at("faults"));
    return definition;
}

}  // namespace

std::optional<std::size_t> blockSlot(std::uint32_t blockNumber) {
    for (std::size_t slot = 0; slot < blockNumbers.size(); ++slot) {
        if (blockNumbers[slot] == blockNumber) return slot;
    }
    return std::nullopt;
}

std::size_t blockLength(std::size_t slot) { return blockLengths.at(slot); }

std::uint8_t fillerByte(const Mac& mac, std::size_t part, std::size_t offset) {
    return static_cast<std::uint8_t>((mac[5] + 0x40 * part + offset) & 0xFF);
}

Bytes buildDiscoveryReply(const Mac& mac, const std::array<std::uint8_t, 2>& typeCode) {
    constexpr std::size_t discoveryPart = 3;
    Bytes reply(30);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = fillerByte(mac, discoveryPart, i);
    reply[0] = 0x00;
    reply[1] = 0x00;
    reply[2] = 0x00;
    reply[3] = 0xF7;
    reply[8] = typeCode[0];
    reply[9] = typeCode[1];
    std::copy(mac.begin(), mac.end(), reply.begin() + 24);
    return reply;
}

std::optional<SimulationDefinition> parseSimulationDefinition(const std::string& text, std::string& error) {
    try {
        const json root = json::parse(text);
        rejectUnknownKeys(root, {"restart_ms", "devices"}, "file");
        SimulationDefinition definition;
        if (root.contains("restart_ms")) {
            definition.restartMs = static_cast<std::int32_t>(integerIn(root["restart_ms"], 0, 600'000, "restart_ms"));
        }
        if (!root.contains("devices") || !root["devices"].is_array() || root["devices"].empty()) {
            fail("devices", "must be a non-empty list");
        }
        constexpr std::size_t maxSimulatedDevices = 4096;
        if (root["devices"].size() > maxSimulatedDevices) {
            fail("devices", "at most " + std::to_string(maxSimulatedDevices) + " devices");
        }
        std::set<std::uint32_t> addresses;
        for (std::size_t i = 0; i < root["devices"].size(); ++i) {
            DeviceDefinition device = parseDevice(root["devices"][i], i);
            if (!addresses.insert(device.address.hostOrder()).second) {
                fail("devices[" + std::to_string(i) + "].address", "is used by another device");
            }
            definition.devices.push_back(std::move(device));
        }
        return definition;
    } catch (const DefinitionError& problem) {
        error = problem.what();
    } catch (const nlohmann::json::exception& problem) {
        error = std::string("not valid JSON: ") + problem.what();
    }
    return std::nullopt;
}

std::string macText(const Mac& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<Mac> parseMac(const std::string& text) {
    // Six pairs of hex digits separated by '-' or ':'.
    if (text.size() != 17) return std::nullopt;
    Mac mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t at = i * 3;
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        if (i < 5 && text[at + 2] != '-' && text[at + 2] != ':') return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return mac;
}

std::string hexText(const std::uint8_t* data, std::size_t length) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::optional<Bytes> parseHex(const std::string& text) {
    // Spaces are allowed between bytes so that long blocks stay readable.
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ') {
            if (high >= 0) return std::nullopt;
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return bytes;
}

}  // namespace tamro::devsim
