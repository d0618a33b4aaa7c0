#include "device_table_text.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/ipv4.h"
#include "protocol/device_search.h"
#include "protocol/vocabulary.h"

namespace tamro::cli {

namespace {

std::string wordAt(std::span<const std::string_view> texts, std::int32_t position,
                   std::int32_t code) {
    if (position < 0 || static_cast<std::size_t>(position) >= texts.size()) {
        return "code " + std::to_string(code);
    }
    return std::string(texts[static_cast<std::size_t>(position)]);
}

std::string serialWords(const DeviceRecord& record) {
    static constexpr std::array<std::string_view, 3> parityLetters = {"N", "O", "E"};
    const std::int32_t baud = baudListPosition(record.baudRate);
    std::string text = baud < 0 ? "code " + std::to_string(record.baudRate)
                                : std::string(baudTexts[static_cast<std::size_t>(baud)]);
    text += ' ' + std::to_string(record.dataBits);
    const std::int32_t parity = parityListPosition(record.parity);
    text += parity < 0 ? "?" : std::string(parityLetters[static_cast<std::size_t>(parity)]);
    return text + std::to_string(record.stopBits);
}

// The code point at `i` and how many bytes it takes; a broken sequence
// counts as one byte of width one.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return {0xFFFD, 1};
    char32_t point = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return {0xFFFD, 1};
        point = (point << 6) | (next & 0x3F);
    }
    return {point, length};
}

bool isWide(char32_t point) {
    return (point >= 0x1100 && point <= 0x115F) || (point >= 0x2E80 && point <= 0xA4CF) ||
           (point >= 0xAC00 && point <= 0xD7A3) || (point >= 0xF900 && point <= 0xFAFF) ||
           (point >= 0xFE30 && point <= 0xFE4F) || (point >= 0xFF00 && point <= 0xFF60) ||
           (point >= 0xFFE0 && point <= 0xFFE6) || (point >= 0x20000 && point <= 0x3FFFD);
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto [point, length] = decodeAt(text, i);
        width += isWide(point) ? 2 : 1;
        i += length;
    }
    return width;
}

DeviceWords deviceWords(const DeviceRecord& record) {
    DeviceWords words;
    words.address = record.dhcp == 1 ? std::string("automatic")
                                     : toDottedText(record.ipAddress) + "/" +
                                           toDottedText(record.netmask) + " via " +
                                           toDottedText(record.gateway);
    words.protocol =
        wordAt(protocolTexts, protocolListPosition(record.protocol), record.protocol);
    words.port = std::to_string(record.localPort);
    words.serial = serialWords(record);
    words.flow = wordAt(flowTexts, flowListPosition(record.flowControl), record.flowControl);
    // As the dialog reads it: the low nibble, UDP's reading as no connection.
    words.connect = wordAt(connectTexts, connectListPosition(record.connectMode & 0x0F),
                           record.connectMode);
    words.remote = record.remoteIp == Ipv4{} && record.remotePort == 0
                       ? std::string("-")
                       : toDottedText(record.remoteIp) + ":" + std::to_string(record.remotePort);
    words.keepAlive = std::to_string(record.keepAlive) + " s";
    words.pack = wordAt(packTexts, packListPosition(record.packControl), record.packControl);
    return words;
}

std::vector<std::string> deviceTableHeader() {
    return {"MAC", "ADDRESS", "TYPE", "READ", "DHCP", "IP", "MASK", "GATEWAY", "PROTOCOL",
            "PORT", "SERIAL", "FLOW", "CONNECT", "REMOTE", "KEEPALIVE", "PACK", "CONFLICT"};
}

std::vector<std::string> deviceTableRow(const DeviceRecord& record,
                                        const std::vector<MacAddress>& sharing) {
    const std::string shown(record.ipText.data(),
                            std::find(record.ipText.begin(), record.ipText.end(), '\0'));
    std::vector<std::string> row = {macText(record.mac), shown,
                                    std::string(record.typeCode.begin(), record.typeCode.end())};
    // The other devices at its address, one field: blank-separated MACs.
    std::string conflict;
    for (const MacAddress& mac : sharing) conflict += (conflict.empty() ? "" : " ") + macText(mac);
    if (conflict.empty()) conflict = "-";
    if (record.configured != 1) {
        row.push_back(sharing.empty() ? "no: off the subnet" : "no: shared address");
        row.resize(deviceTableHeader().size() - 1, "-");
        row.push_back(conflict);
        return row;
    }
    const DeviceWords words = deviceWords(record);
    const bool automatic = record.dhcp == 1;
    row.insert(row.end(),
               {"yes", automatic ? "on" : "off", automatic ? "-" : toDottedText(record.ipAddress),
                automatic ? "-" : toDottedText(record.netmask),
                automatic ? "-" : toDottedText(record.gateway), words.protocol, words.port,
                words.serial, words.flow, words.connect, words.remote, words.keepAlive,
                words.pack, conflict});
    return row;
}

void printAlignedTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(widths[i] - displayWidth(row[i]) + 2, ' ');
        }
        out << line << '\n';
    }
}

void printCsv(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) out << ',';
            const std::string& field = row[i];
            if (field.find_first_of(",\"\r\n") == std::string::npos) {
                out << field;
                continue;
            }
            out << '"';
            for (const char c : field) out << (c == '"' ? "\"\"" : std::string(1, c));
            out << '"';
        }
        out << '\n';
    }
}

}  // namespace tamro::cli
