#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ipv4.h"

namespace tamro::devsim {

// A mistake in the devices file, thrown where it is found and turned into
// the message at the top of the parse. `where` names the place, e.g.
// "devices[3].faults.split.5".
struct DefinitionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& where, const std::string& what);

// Each reader below returns the value or throws DefinitionError.
void rejectUnknownKeys(const nlohmann::json& object, std::initializer_list<const char*> known,
                       const std::string& where);
std::int64_t integerIn(const nlohmann::json& value, std::int64_t low, std::int64_t high,
                       const std::string& where);
std::string textOf(const nlohmann::json& value, const std::string& where);
Ipv4 addressOf(const nlohmann::json& value, const std::string& where);
// An address a datagram can come from.
Ipv4 sourceAddressOf(const nlohmann::json& value, const std::string& where);

}  // namespace tamro::devsim
