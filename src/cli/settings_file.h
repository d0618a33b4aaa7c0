#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ipv4.h"
#include "setting_flags.h"

namespace tamro::cli {

inline constexpr std::string_view settingsFormat = "tamro-settings/1";

// What a settings file or an address map may be, checked before it is
// parsed: an export is well under a kilobyte and two levels deep.
inline constexpr std::size_t maxSettingsFileBytes = 1024 * 1024;
inline constexpr std::int32_t maxSettingsDepth = 8;

// One value per setting flag, in `settingFlags` order; nothing where the
// file names none. The texts are the write flags' values.
using SettingValues = std::array<std::optional<std::string>, settingFlags.size()>;

// A device's settings as `export` writes them and `apply` reads them.
struct SettingsDocument {
    std::optional<std::array<std::uint8_t, 6>> mac;  // the device it came from
    std::optional<std::string> model;                // the model chosen then
    std::string version;                             // the Tamro that wrote it
    SettingValues values;
};

nlohmann::ordered_json settingsJson(const SettingsDocument& document);

// Reads a settings document; `name` is how messages call it. Nothing, with
// `problem` naming the file and the key (or line) at fault, for anything
// not exactly such a document: text after the JSON value, nesting deeper
// than maxSettingsDepth, an address with a blank field, "" for a number.
std::optional<SettingsDocument> parseSettings(std::string_view text, const std::string& name,
                                              std::string& problem);

// One row of an address map: "mac,ip[,mask[,gateway]]".
struct AddressRow {
    std::array<std::uint8_t, 6> mac{};
    Ipv4 ip{};
    std::optional<Ipv4> mask;
    std::optional<Ipv4> gateway;
    std::int32_t line = 0;
};

// Reads an address map: one row a line, a header line allowed first, empty
// lines skipped. Nothing, with `problem` as "NAME:LINE: ...", for a row
// that is not one, or a MAC or an address that an earlier row gave.
std::optional<std::vector<AddressRow>> parseAddressMap(std::string_view text,
                                                       const std::string& name,
                                                       std::string& problem);

// A whole file's bytes; nothing, with the system's reason in `problem`, or
// when it holds more than `maxBytes`.
std::optional<std::string> readWholeFile(const std::string& path, std::string& problem,
                                         std::size_t maxBytes = maxSettingsFileBytes);

}  // namespace tamro::cli
