#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/vocabulary.h"
#include "ui/form.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

// What an operator does to a control to give it a value.
enum class Action {
    mark,     // click the check box when its mark differs
    choose,   // pick a list entry
    address,  // type the four fields
    type,     // replace an edit's text
};

// Words in list order: the word at position k picks entry k.
inline constexpr std::array<std::string_view, 2> markWords = {"off", "on"};
inline constexpr std::array<std::string_view, 2> protocolWords = {"tcp", "udp"};
inline constexpr std::array<std::string_view, 3> connectWords = {"none", "serial", "power-on"};
inline constexpr std::array<std::string_view, 3> parityWords = {"none", "odd", "even"};
inline constexpr std::array<std::string_view, 4> flowWords = {"none", "xon-xoff", "cts-rts",
                                                              "xon-xoff-lan"};
inline constexpr std::array<std::string_view, 5> packWords = {"off", "12", "52", "250", "5000"};
static_assert(protocolWords.size() == protocolTexts.size());
static_assert(connectWords.size() == connectTexts.size());
static_assert(parityWords.size() == parityTexts.size());
static_assert(flowWords.size() == flowTexts.size());
static_assert(packWords.size() == packTexts.size());

struct SettingFlag {
    std::string_view name;  // the write flag, without "--"
    std::string_view key;   // the settings file's name for it
    ControlId control;
    Action action;
    std::span<const std::string_view> words;
    std::string_view help;
};

// In the order a person works through the window: the address mode and
// the protocol first, since they decide what else can be edited.
inline constexpr std::array<SettingFlag, 16> settingFlags = {{
    {"dhcp", "dhcp", ControlId::dhcpCheck, Action::mark, markWords, "Automatic address"},
    {"protocol", "protocol", ControlId::protocolCombo, Action::choose, protocolWords, "Protocol"},
    {"connect", "connect", ControlId::connectCombo, Action::choose, connectWords,
     "Connect condition"},
    {"ip", "ip", ControlId::ipAddressCtrl, Action::address, {}, "IP address to set (dotted)"},
    {"mask", "mask", ControlId::netmaskCtrl, Action::address, {}, "Subnet mask"},
    {"gateway", "gateway", ControlId::gatewayCtrl, Action::address, {}, "Default gateway"},
    {"remote-ip", "remoteIp", ControlId::remoteIpCtrl, Action::address, {},
     "Destination address"},
    {"port", "port", ControlId::portEdit, Action::type, {}, "Local port"},
    {"remote-port", "remotePort", ControlId::remotePortEdit, Action::type, {},
     "Destination port"},
    {"keep-alive", "keepAlive", ControlId::keepAliveEdit, Action::type, {},
     "Keep-alive in seconds"},
    {"baud", "baud", ControlId::baudCombo, Action::choose, baudTexts, "Baud rate"},
    {"data-bits", "dataBits", ControlId::dataBitsCombo, Action::choose, dataBitsTexts,
     "Data bits"},
    {"parity", "parity", ControlId::parityCombo, Action::choose, parityWords, "Parity"},
    {"stop-bits", "stopBits", ControlId::stopBitsCombo, Action::choose, stopBitsTexts,
     "Stop bits"},
    {"flow", "flow", ControlId::flowCombo, Action::choose, flowWords, "Flow control"},
    {"pack", "pack", ControlId::packCombo, Action::choose, packWords,
     "Pack control (off, idle gap in ms)"},
}};

// The flag whose file key is `key`; nothing for an unknown one.
const SettingFlag* findSettingKey(std::string_view key);

// A dotted text as the four fields an operator types: "" blanks all four,
// an empty part blanks one. Nothing, with `problem` set, for any other text.
std::optional<AddressFields> parseAddressFields(std::string_view text, std::string& problem);

// Why no control could take `value` as given ("" when one could): an
// address that is not one, a letter in a number, a word not in the list.
std::string settingValueProblem(const SettingFlag& flag, std::string_view value);

// Gives one value to its control, as a user would. "" when it was taken;
// otherwise why not (the control takes no input now, or not the value).
std::string applySetting(SetupDialog& dialog, const SettingFlag& flag,
                         const std::string& value);

// What the control holds now, in the flag's words: what `applySetting`
// would give it to get there. Nothing when the control is switched off or
// holds nothing a flag could give.
std::optional<std::string> settingValue(const Form& form, const SettingFlag& flag);

}  // namespace tamro::cli

namespace tamro::cli {

// What the device reported for the flag's control, in the flag's words, as
// the dialog would show it after selecting the device: how a write is
// checked after the restart. Nothing for a code no list entry shows.
std::optional<std::string> reportedValue(const DeviceRecord& device, const SettingFlag& flag);

}  // namespace tamro::cli
