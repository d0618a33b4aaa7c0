#include "devsim/devices_file.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "devsim/definition_values.h"
#include "devsim/hex_text.h"
#include "devsim/settings_encoder.h"
#include "protocol/device_address.h"

namespace tamro::devsim {

namespace {

using nlohmann::json;

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
            const auto size = static_cast<std::int64_t>(configurationBlockLengths[range.slot]);
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
    const auto mac = parseMacText(textOf(device["mac"], at("mac")));
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
    definition.blocks = fillerBlocks(definition.mac);
    encodeSettings(definition.blocks, settings, definition.address, true, at("settings"));
    bool anyHex = false;
    constexpr std::array<const char*, 3> blockKeys = {"block0", "block3", "block7"};
    for (std::size_t slot = 0; slot < 3; ++slot) {
        if (!device.contains(blockKeys[slot])) continue;
        anyHex = true;
        const auto bytes = parseHex(textOf(device[blockKeys[slot]], at(blockKeys[slot])));
        if (!bytes || bytes->size() != configurationBlockLengths[slot]) {
            fail(at(blockKeys[slot]), "must be " + std::to_string(configurationBlockLengths[slot]) + " hex bytes");
        }
        std::copy(bytes->begin(), bytes->end(), blockBytes(definition.blocks, slot).begin());
    }
    if (anyHex) encodeSettings(definition.blocks, settings, definition.address, false, at("settings"));

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
                integerIn(patch["offset"], 0, static_cast<std::int64_t>(configurationBlockLengths[slot]) - 1,
                          key + ".offset"));
            const auto bytes = parseHex(textOf(patch["hex"], key + ".hex"));
            if (!bytes || bytes->size() > configurationBlockLengths[slot] - start) {
                fail(key, "hex must be bytes that fit inside the block");
            }
            std::copy(bytes->begin(), bytes->end(),
                      blockBytes(definition.blocks, slot).begin() + static_cast<std::ptrdiff_t>(start));
        }
    }

    if (device.contains("restart_ms")) {
        definition.restartMs = static_cast<std::int32_t>(integerIn(device["restart_ms"], 0, 600'000, at("restart_ms")));
    }
    if (device.contains("faults")) definition.faults = parseFaults(device["faults"], at("faults"));
    return definition;
}

}  // namespace

std::optional<SimulationDefinition> parseSimulationDefinition(const std::string& text,
                                                              std::string& error) {
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

}  // namespace tamro::devsim
