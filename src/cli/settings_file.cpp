#include "settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "protocol/device_search.h"

namespace tamro::cli {

namespace {

// Beyond what the edits take, what the device's fields can hold.
std::optional<std::uint32_t> highestNumber(const SettingFlag& flag) {
    if (flag.control == ControlId::portEdit || flag.control == ControlId::remotePortEdit) {
        return 65535;
    }
    if (flag.control == ControlId::keepAliveEdit) return 65;
    return std::nullopt;
}

// A file value as the text the write flag would carry.
std::optional<std::string> valueText(const SettingFlag& flag, const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (flag.action == Action::mark) {
        if (value.is_boolean()) return std::string(markWords[value.get<bool>() ? 1 : 0]);
        return std::nullopt;
    }
    if (flag.action != Action::address && value.is_number_unsigned()) {
        return std::to_string(value.get<std::uint64_t>());
    }
    return std::nullopt;
}

// The JSON a value is written as: marks as true/false, numbers as numbers.
nlohmann::ordered_json valueJson(const SettingFlag& flag, const std::string& text) {
    if (flag.action == Action::mark) return text == markWords[1];
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && flag.action != Action::address) return std::stoul(text);
    return text;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The deepest nesting of arrays and objects, outside strings; counted before
// parsing, since the parser's errors and dumps recurse that deep.
std::int32_t nestingDepth(std::string_view text) {
    std::int32_t depth = 0;
    std::int32_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

std::string sizeProblem(std::size_t size) {
    return "larger than " + std::to_string(maxSettingsFileBytes / 1024) + " KiB (" +
           std::to_string(size) + " bytes)";
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t comma = line.find(',');
        fields.push_back(trimmed(line.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

}  // namespace

nlohmann::ordered_json settingsJson(const SettingsDocument& document) {
    nlohmann::ordered_json json;
    json["format"] = settingsFormat;
    json["tamro"] = document.version;
    json["mac"] = document.mac ? nlohmann::ordered_json(macText(*document.mac)) : nullptr;
    json["model"] = document.model ? nlohmann::ordered_json(*document.model) : nullptr;
    nlohmann::ordered_json settings = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        if (!document.values[i]) continue;
        settings[std::string(settingFlags[i].key)] = valueJson(settingFlags[i], *document.values[i]);
    }
    json["settings"] = std::move(settings);
    return json;
}

std::optional<SettingsDocument> parseSettings(std::string_view text, const std::string& name,
                                              std::string& problem) {
    const auto refuse = [&](const std::string& why) -> std::optional<SettingsDocument> {
        problem = name + ": " + why;
        return std::nullopt;
    };
    if (text.size() > maxSettingsFileBytes) return refuse(sizeProblem(text.size()));
    // The parser takes a NUL byte for the end of the text.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        return refuse("a NUL byte at offset " + std::to_string(nul) +
                      ": not a JSON document (nothing may follow its value)");
    }
    if (nestingDepth(text) > maxSettingsDepth) {
        return refuse("nested deeper than " + std::to_string(maxSettingsDepth) +
                      " levels: not a settings file");
    }
    // A key given twice would silently lose one of its values.
    std::vector<std::vector<std::string>> open;
    std::string repeated;
    const nlohmann::json::parser_callback_t noRepeats =
        [&](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
            using Event = nlohmann::json::parse_event_t;
            if (event == Event::object_start) open.emplace_back();
            if (event == Event::object_end && !open.empty()) open.pop_back();
            if (event == Event::key && !open.empty() && parsed.is_string()) {
                const std::string key = parsed.get<std::string>();
                std::vector<std::string>& keys = open.back();
                if (repeated.empty() && std::find(keys.begin(), keys.end(), key) != keys.end()) {
                    repeated = key;
                }
                keys.push_back(key);
            }
            return true;
        };
    const nlohmann::json json = nlohmann::json::parse(text, noRepeats, false);
    if (json.is_discarded()) return refuse("not a JSON document");
    if (!repeated.empty()) return refuse(repeated + ": given twice");
    if (!json.is_object()) return refuse("not a JSON object");
    const auto format = json.find("format");
    if (format == json.end()) {
        return refuse("no \"format\": not a settings file (expected \"" +
                      std::string(settingsFormat) + "\")");
    }
    if (!format->is_string() || format->get<std::string>() != settingsFormat) {
        return refuse("format " + format->dump() + " is not one this Tamro reads (it reads \"" +
                      std::string(settingsFormat) + "\")");
    }
    SettingsDocument document;
    for (const auto& [key, value] : json.items()) {
        if (key == "format") continue;
        if (key == "tamro") {
            if (!value.is_string()) return refuse("tamro: give the version as a text");
            document.version = value.get<std::string>();
        } else if (key == "mac") {
            if (value.is_null()) continue;
            if (!value.is_string() || !(document.mac = parseMacText(value.get<std::string>()))) {
                return refuse("mac: " + value.dump() + " is not a MAC address (02-00-00-01-02-03)");
            }
        } else if (key == "model") {
            if (value.is_null()) continue;
            if (!value.is_string()) return refuse("model: give the model's name as a text");
            document.model = value.get<std::string>();
        } else if (key == "settings") {
            if (!value.is_object()) return refuse("settings: not a JSON object");
            for (const auto& [setting, given] : value.items()) {
                const SettingFlag* flag = findSettingKey(setting);
                const std::string where = "settings." + setting + ": ";
                if (flag == nullptr) return refuse(where + "unknown setting");
                const std::optional<std::string> typed = valueText(*flag, given);
                if (!typed) return refuse(where + given.dump() + " is not a value it takes");
                std::string why = settingValueProblem(*flag, *typed);
                // A blank field would be written as 0 where the batch's
                // checks saw no address at all.
                if (why.empty() && flag->action == Action::address && !typed->empty() &&
                    !parseDottedText(*typed)) {
                    why = *typed + ": a field is blank (give all four numbers, or \"\" for a "
                                   "blank address)";
                }
                if (why.empty() && flag->action == Action::type && typed->empty()) {
                    why = "\"\": give a number";
                }
                if (why.empty() && !typed->empty()) {
                    if (const auto highest = highestNumber(*flag);
                        highest && (typed->size() > 9 || std::stoul(*typed) > *highest)) {
                        why = *typed + ": out of range (0 to " + std::to_string(*highest) + ")";
                    }
                }
                if (!why.empty()) return refuse(where + why);
                document.values[static_cast<std::size_t>(flag - settingFlags.data())] = *typed;
            }
        } else {
            return refuse(key + ": unknown key (a settings file holds format, tamro, mac, model "
                                "and settings)");
        }
    }
    return document;
}

std::optional<std::vector<AddressRow>> parseAddressMap(std::string_view text,
                                                       const std::string& name,
                                                       std::string& problem) {
    if (text.size() > maxSettingsFileBytes) {
        problem = name + ": " + sizeProblem(text.size());
        return std::nullopt;
    }
    std::vector<AddressRow> rows;
    std::int32_t line = 0;
    bool firstRow = true;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        const std::string_view content = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (content.empty()) continue;
        const std::string where = name + ":" + std::to_string(line) + ": ";
        // A spreadsheet set to a comma-decimal locale saves with semicolons.
        if (content.find(';') != std::string_view::npos &&
            content.find(',') == std::string_view::npos) {
            problem = where + "fields are separated by \";\": give them separated by commas, "
                              "as mac,ip[,mask[,gateway]]";
            return std::nullopt;
        }
        const std::vector<std::string_view> fields = splitFields(content);
        const bool header = firstRow && !parseMacText(fields.front()) &&
                            (fields.front() == "mac" || fields.front() == "MAC");
        firstRow = false;
        if (header) continue;
        if (fields.size() < 2 || fields.size() > 4) {
            problem = where + "give mac,ip[,mask[,gateway]] (" + std::to_string(fields.size()) +
                      " fields)";
            return std::nullopt;
        }
        AddressRow row;
        row.line = line;
        const auto mac = parseMacText(fields[0]);
        if (!mac) {
            problem = where + "\"" + std::string(fields[0]) +
                      "\" is not a MAC address (02-00-00-01-02-03)";
            return std::nullopt;
        }
        row.mac = *mac;
        const std::array<std::string_view, 3> names = {"ip", "mask", "gateway"};
        std::array<std::optional<Ipv4>, 3> addresses;
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].empty() && i > 1) continue;
            addresses[i - 1] = parseDottedText(fields[i]);
            if (!addresses[i - 1]) {
                problem = where + std::string(names[i - 1]) + " \"" + std::string(fields[i]) +
                          "\" is not a dotted address";
                return std::nullopt;
            }
        }
        row.ip = *addresses[0];
        row.mask = addresses[1];
        row.gateway = addresses[2];
        for (const AddressRow& earlier : rows) {
            if (earlier.mac == row.mac) {
                problem = where + macText(row.mac) + " is given on line " +
                          std::to_string(earlier.line) + " already";
                return std::nullopt;
            }
            if (earlier.ip == row.ip) {
                problem = where + toDottedText(row.ip) + " is given to line " +
                          std::to_string(earlier.line) + "'s device already";
                return std::nullopt;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

std::optional<std::string> readWholeFile(const std::string& path, std::string& problem,
                                         std::size_t maxBytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // Read in pieces, so that a huge file (or an endless device) stops one
    // piece past the limit instead of filling the memory.
    std::string bytes;
    std::array<char, 64 * 1024> piece{};
    while (file && bytes.size() <= maxBytes) {
        file.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        bytes.append(piece.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        problem = path + ": could not be read";
        return std::nullopt;
    }
    if (bytes.size() > maxBytes) {
        problem = path + ": larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace tamro::cli
