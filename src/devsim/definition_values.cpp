#include "devsim/definition_values.h"

#include <algorithm>

#include "protocol/device_address.h"

namespace tamro::devsim {

using nlohmann::json;

void fail(const std::string& where, const std::string& what) {
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

Ipv4 sourceAddressOf(const json& value, const std::string& where) {
    const Ipv4 address = addressOf(value, where);
    if (!isUsableUnicast(address)) fail(where, "is not a usable unicast address");
    return address;
}

}  // namespace tamro::devsim
