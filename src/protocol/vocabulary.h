#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/ipv4.h"

namespace tamro {

// The fixed tables that tie a device's setting codes, the dialog's list
// positions and the list texts together. Lists are filled in table order and
// never sorted, so a position always means the same value.

inline constexpr std::array<std::string_view, 14> pinFunctionNames = {
    "HW Flow Control Out", "HW Flow Control In",  "Modem Control Out",   "Modem Control In",
    "General Purpose In",  "General Purpose Out", "General Purpose In",  "General Purpose Out",
    "General Purpose In",  "General Purpose Out", "Status LED 1",        "Status LED 3",
    "RS485 Tx Enable",     "Link Status",
};

inline constexpr std::int32_t pinCount = 3;
inline constexpr std::int32_t pinSlots = 7;

// Codes allowed per control pin (row 0 = CP1); -1 marks an empty slot and
// empty slots only trail. A code's slot index is its list position.
inline constexpr std::array<std::array<std::int32_t, pinSlots>, pinCount> cpAllowedCodes = {{
    {0, 4, 5, 10, 12, -1, -1},
    {2, 6, 7, 12, 13, -1, -1},
    {1, 3, 8, 9, 11, 12, 13},
}};

// Bit/s by device baud code; the device's code order is not ascending.
inline constexpr std::array<std::int32_t, 13> baudByCode = {
    38400, 19200, 9600, 4800, 2400, 1200, 600, 300, 115200, 57600, 230400, 460800, 921600,
};

// The baud list, ascending: a greater position is always a higher rate.
inline constexpr std::array<std::string_view, 13> baudTexts = {
    "300",   "600",    "1200",   "2400",   "4800",   "9600",  "19200",
    "38400", "57600",  "115200", "230400", "460800", "921600",
};

// Baud list positions from this one on set the device's high-speed flag.
inline constexpr std::int32_t firstHighSpeedBaudPosition = 11;

inline constexpr std::array<std::string_view, 2> protocolTexts = {"TCP", "UDP"};
inline constexpr std::array<std::string_view, 2> dataBitsTexts = {"7", "8"};
inline constexpr std::string_view noneText = "なし";
inline constexpr std::array<std::string_view, 3> parityTexts = {noneText, "奇数", "偶数"};
inline constexpr std::array<std::string_view, 2> stopBitsTexts = {"1", "2"};
inline constexpr std::array<std::string_view, 4> flowTexts = {noneText, "Xon/Xoff", "CTS/RTS",
                                                              "Xon/XoffをLANに送る"};
inline constexpr std::array<std::int32_t, 4> flowCodes = {0, 1, 2, 5};
inline constexpr std::array<std::string_view, 3> connectTexts = {"接続しない", "シリアル受信時",
                                                                 "電源投入時"};
inline constexpr std::array<std::uint8_t, 3> connectNibbles = {0x0, 0x1, 0x5};
// The connect nibble of a device in UDP mode; chosen through the protocol list.
inline constexpr std::uint8_t udpConnectNibble = 0x0C;
// Half-width katakana, as the device family's tools have always shown them.
inline constexpr std::array<std::string_view, 5> packTexts = {
    "無効", "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ12msec", "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ52msec", "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ250msec",
    "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ5000msec"};

// --- codecs between device codes and plain values -------------------------

// Bit/s for a device baud code, or -1.
std::int32_t baudFromCode(std::uint32_t code);
// Device baud code for an exact rate, or -1.
std::int32_t codeFromBaud(std::int32_t baud);

// Serial format byte: bits 2-3 data bits, 4-5 parity, 6-7 stop bits; bits
// 0-1 are ignored. Returns 0 with the outputs set, or -1 (outputs then
// meaningless).
std::int32_t decodeSerialFormat(std::uint32_t formatByte, std::int32_t& dataBits,
                                std::int32_t& parity, std::int32_t& stopBits);
// Returns 0 with `formatByte` set (bits 0-1 always 0), or -1.
std::int32_t encodeSerialFormat(std::uint8_t& formatByte, std::int32_t dataBits,
                                std::int32_t parity, std::int32_t stopBits);

// The device stores a mask as the count of host (zero) bits at its low end.
Ipv4 maskFromHostBits(std::uint32_t hostBits);
// Host-bit count 0..32, or -1 when the mask is not contiguous.
std::int32_t hostBitsFromMask(const Ipv4& mask);

// List position of a pin function code on pin 0..2, or -1.
std::int32_t pinListPosition(std::int32_t code, std::int32_t pin);
// Code in the slot at that pin and position; -1 for an empty slot or for a
// pin or position outside the table.
std::int32_t pinCodeAt(std::int32_t pin, std::int32_t position);

// --- record values <-> list positions (-1 where there is none) -------------

std::int32_t baudListPosition(std::int32_t baud);
// The rate a baud position's text stands for, or -1 for no such position.
std::int32_t baudAtListPosition(std::int32_t position);
std::int32_t dataBitsListPosition(std::int32_t dataBits);
std::int32_t dataBitsAtListPosition(std::int32_t position);
std::int32_t stopBitsListPosition(std::int32_t stopBits);
std::int32_t stopBitsAtListPosition(std::int32_t position);
std::int32_t parityListPosition(std::int32_t parity);
std::int32_t parityAtListPosition(std::int32_t position);
std::int32_t protocolListPosition(std::int32_t protocol);
std::int32_t flowListPosition(std::int32_t flowCode);
std::int32_t flowCodeAtListPosition(std::int32_t position);
// Takes the connect nibble (low four bits of the connect mode byte); every
// nibble but 0x1 and 0x5 shows as position 0.
std::int32_t connectListPosition(std::int32_t connectNibble);
std::int32_t connectNibbleAtListPosition(std::int32_t position);
std::int32_t packListPosition(std::int32_t packControl);

}  // namespace tamro
