#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ipv4.h"
#include "protocol/address_rules.h"

namespace tamro {

// What the dialog's actions came to, as values. The front ends show the
// message boxes; the command line and the fleet code read these instead of
// the messages' texts.

enum class SearchResult {
    none,    // no search has ended yet
    listed,  // the list holds what it found (perhaps nothing)
    failed,  // discovery failed: the communication error was shown
};

struct SearchOutcome {
    SearchResult result = SearchResult::none;
    std::int32_t listed = 0;  // entries on the list afterwards
};

// The write button's checks of a device on the subnet, in the order they run.
enum class WriteCheck {
    none,
    port,           // the local port is outside 1024-65535
    remoteAddress,  // a destination is needed and is 0.0.0.0
    remotePort,     // a destination is needed and its port is out of range
    baudLimit,      // the rate is above the chosen model's limit
    keepAlive,      // the keep-alive time is outside 0-65
    address,        // the fixed address is one no device should have (also off the subnet)
};

enum class WriteResult {
    none,       // the write button has not been pressed on a device
    refused,    // a check failed; nothing was asked or sent
    cancelled,  // the confirmation was answered Cancel; nothing was sent
    written,    // all three blocks accepted, or the assignment packet sent
    failed,     // the device or the network failed; its message was shown
};

struct WriteAttempt {
    // Counts the presses that reached the write: a caller compares it before
    // and after a press to know the outcome is this press's, not an earlier one's.
    std::uint32_t number = 0;
    WriteResult result = WriteResult::none;
    bool assignment = false;  // off the subnet: the address assignment by MAC
    WriteCheck failedCheck = WriteCheck::none;
    AddressFault addressFault = AddressFault::none;  // with WriteCheck::address
    Ipv4 refusedAddress;                             // with WriteCheck::address
    std::array<std::uint8_t, 6> mac{};  // the device it was for
    Ipv4 deviceAddress;                 // where that device answered discovery from
    std::int32_t blocksAccepted = 0;    // of a write: blocks 0, 3, 7 sent and answered
    std::string message;                // the message shown for a refusal or failure
};

enum class PingResult {
    none,
    noDevice,      // no device selected: shown as no answer
    noAnswer,      // the address seems free
    deviceItself,  // answered, by the device at its present address
    otherHost,     // answered by something else: the address is taken
};

struct PingOutcome {
    PingResult result = PingResult::none;
    Ipv4 target;
    // Another device listed by the search answers from the target: a
    // conflict whether or not the echo came back.
    bool listedDeviceThere = false;
};

// Why the dialog has a control switched off. Only the rules record a reason;
// a control that is on has none.
enum class OffReason {
    none,
    noDeviceRead,        // no device selected, or nothing read from it
    offSubnet,           // outside the adapter's subnet: only the new address
    automaticAddress,    // DHCP on: the address fields are the device's to get
    modelFixedPort,      // the chosen model fixes the local port
    modelFixedSerial,    // the chosen model fixes the serial settings
    modelFixedPins,      // the chosen model fixes the control pins
    modelNoClientMode,   // the chosen model has no client mode
    modelFixedConnect,   // the chosen model fixes the connect condition
    udpProtocol,         // UDP has no connect condition
    noConnectCondition,  // TCP that never connects has no destination
    afterWrite,          // the form stays off after a write until a device is selected
    busy,                // a search, write or probe is running
    noModels,            // no models were loaded
    sharedAddress,       // another listed device answers from its address: only the new address
};

}  // namespace tamro
