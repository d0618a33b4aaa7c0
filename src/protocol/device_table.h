#pragma once

#include <array>
#include <cstdint>

#include "platform/ipv4.h"

namespace tamro {

inline constexpr std::int32_t maxDevices = 256;

// The socket address a discovery reply came from.
struct PeerAddress {
    std::uint16_t family = 0;  // 2 for IPv4 once written
    std::uint16_t port = 0;    // host order
    Ipv4 address;

    friend bool operator==(const PeerAddress&, const PeerAddress&) = default;
};

// One discovered device. Discovery writes the identity fields, the search
// writes `configured`, and a configuration read writes everything from
// `dhcp` on. Readers of the settings must look at `configured` first.
struct DeviceRecord {
    PeerAddress peer;
    std::array<std::uint8_t, 6> mac{};
    std::array<char, 16> ipText{};   // NUL-terminated dotted text
    std::array<char, 2> typeCode{};  // two ASCII characters, no terminator
    std::int32_t configured = 0;

    std::int32_t dhcp = 0;
    Ipv4 ipAddress;
    Ipv4 netmask;
    Ipv4 gateway;
    std::int32_t localPort = 0;
    std::int32_t baudRate = 0;
    std::int32_t dataBits = 0;
    std::int32_t stopBits = 0;
    std::int32_t parity = 0;
    std::int32_t flowControl = 0;
    std::int32_t connectMode = 0;
    Ipv4 remoteIp;
    std::int32_t remotePort = 0;
    std::int32_t cp1Function = 0;
    std::int32_t cp2Function = 0;
    std::int32_t cp3Function = 0;
    std::int32_t protocol = 0;
    std::int32_t keepAlive = 0;
    std::int32_t packControl = 0;

    friend bool operator==(const DeviceRecord&, const DeviceRecord&) = default;
};

// The devices found by the last search. Records are never cleared: a
// position keeps its bytes until something writes over it.
struct DeviceTable {
    std::int32_t deviceCount = 0;
    std::array<DeviceRecord, maxDevices> devices{};
};

// The one table the program works on.
DeviceTable& processDeviceTable();

// Start of a search: the count goes to 0, no record is touched.
void resetDeviceTable(DeviceTable& table);

// Removes record `index` by moving records index+1..255 down one place.
// Record 255 keeps its bytes and `deviceCount` stays as it is; the search
// keeps its own running count. Indices outside 0..255 change nothing.
void dropDeviceInPlace(DeviceTable& table, std::int32_t index);

// The same move, for a device the list shows; nothing happens when index is
// not below `deviceCount` (or is negative). Returns true when the record was
// removed, so the caller deletes list entry `index` as well.
bool removeDevice(DeviceTable& table, std::int32_t index);

}  // namespace tamro
