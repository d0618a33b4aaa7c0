#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/address_conflicts.h"
#include "protocol/device_table.h"

namespace tamro::cli {

// A read device's settings in the dialog's own words (list texts), for the
// search's output. Codes no list entry shows read "code N".
struct DeviceWords {
    std::string address;  // "10.77.0.10/255.255.255.0 via 10.77.0.254", or "automatic"
    std::string protocol;
    std::string port;
    std::string serial;  // "115200 8N1"
    std::string flow;
    std::string connect;
    std::string remote;  // "10.77.0.200:4001", "-" for none
    std::string keepAlive;
    std::string pack;
};
DeviceWords deviceWords(const DeviceRecord& record);

// The search's rows: one per listed device, in the list's order.
std::vector<std::string> deviceTableHeader();
// `sharing`: the other listed devices at its address, for the CONFLICT column.
std::vector<std::string> deviceTableRow(const DeviceRecord& record,
                                        const std::vector<MacAddress>& sharing = {});

// Columns aligned for a terminal by their width on screen (wide characters
// count two columns, half-width katakana one).
void printAlignedTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out);
// One line a row, fields quoted when they hold a comma, a quote or a line end.
void printCsv(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

// Columns a UTF-8 text takes on a terminal.
std::size_t displayWidth(std::string_view text);

}  // namespace tamro::cli
