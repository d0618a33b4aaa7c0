#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ipv4.h"
#include "protocol/block_layout.h"
#include "protocol/device_table.h"

namespace tamro {

// 00 00 00 E0+n: the request for block n.
std::array<std::uint8_t, 4> blockReadRequest(std::uint8_t blockNumber);

// Fills `record`'s settings from the fetched blocks. `answeredFrom` is the
// address the device answered discovery from (used when it is on automatic
// addressing). Returns 1, or 0 for an unknown baud code or an invalid serial
// format byte; on such a failure the address fields are already written and
// the rest of the record is untouched.
std::int32_t decodeConfiguration(const ConfigurationBlocks& blocks, const Ipv4& answeredFrom,
                                 DeviceRecord& record);

// The four fields of an address control; -1 stands for a blank field.
struct AddressFields {
    std::array<std::int32_t, 4> fields{-1, -1, -1, -1};

    static AddressFields of(const Ipv4& address);
    // Number of non-blank fields, as the control reports it.
    std::int32_t filledCount() const;
    // The address with each blank field read as 0.
    Ipv4 value() const;

    friend bool operator==(const AddressFields&, const AddressFields&) = default;
};

// What a write reads from the dialog: plain values, -1 for a list without a
// selection.
struct WriteControlValues {
    bool dhcpChecked = false;
    AddressFields ipAddress;
    AddressFields netmask;
    AddressFields gateway;
    AddressFields remoteIp;
    std::string portText;
    std::string remotePortText;
    std::string baudText;  // text of the baud list's selection, "" for none
    std::int32_t baudPosition = -1;
    std::int32_t dataBitsPosition = -1;
    std::int32_t stopBitsPosition = -1;
    std::int32_t parityPosition = -1;
    std::int32_t flowPosition = -1;
    std::int32_t protocolPosition = -1;
    std::int32_t connectPosition = -1;
    std::int32_t cp1Position = -1;
    std::int32_t cp2Position = -1;
    std::int32_t cp3Position = -1;
    std::int32_t packPosition = -1;
};

enum class PatchError { none, subnetMask, setting };

// The message a write shows for a patch error.
std::string_view patchErrorMessage(PatchError error);

struct PatchResult {
    PatchError error = PatchError::none;
    ConfigurationBlocks blocks;  // meaningful only without an error
};

// The bytes a write sends: the fetched blocks with every byte the dialog
// controls patched and the write headers set. `modelVariant` is the selected
// model's column, or nothing when no model is selected. On an error nothing
// may be sent.
PatchResult patchConfiguration(const ConfigurationBlocks& fetched,
                               const WriteControlValues& controls,
                               std::int32_t pendingKeepAlive,
                               std::optional<std::int32_t> modelVariant);

}  // namespace tamro
