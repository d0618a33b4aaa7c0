#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "device_table_text.h"
#include "platform/ipv4.h"

namespace tamro::cli {
namespace {

DeviceRecord readDevice() {
    DeviceRecord record;
    record.mac = {2, 0, 0, 0, 1, 0x10};
    const std::string ip = "10.77.0.10";
    std::copy(ip.begin(), ip.end(), record.ipText.begin());
    record.typeCode = {'X', '1'};
    record.configured = 1;
    record.ipAddress = *parseDottedText("10.77.0.10");
    record.netmask = *parseDottedText("255.255.255.0");
    record.gateway = *parseDottedText("10.77.0.254");
    record.localPort = 10100;
    record.baudRate = 115200;
    record.dataBits = 8;
    record.parity = 0;
    record.stopBits = 1;
    record.flowControl = 2;
    record.connectMode = 0x31;  // high nibble is the device's own
    record.remoteIp = *parseDottedText("10.77.0.200");
    record.remotePort = 4001;
    record.protocol = 0;
    record.keepAlive = 20;
    record.packControl = 2;
    return record;
}

TEST(DeviceTableText, SettingsReadInTheDialogsWords) {
    const DeviceWords words = deviceWords(readDevice());
    EXPECT_EQ(words.address, "10.77.0.10/255.255.255.0 via 10.77.0.254");
    EXPECT_EQ(words.protocol, "TCP");
    EXPECT_EQ(words.serial, "115200 8N1");
    EXPECT_EQ(words.flow, "CTS/RTS");
    EXPECT_EQ(words.connect, "シリアル受信時");
    EXPECT_EQ(words.remote, "10.77.0.200:4001");
    EXPECT_EQ(words.pack, "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ52msec");

    DeviceRecord odd = readDevice();
    odd.flowControl = 3;        // no list entry
    odd.baudRate = 1234;
    odd.connectMode = 0x4C;     // UDP's nibble: the dialog shows no connection
    odd.packControl = 9;
    odd.remoteIp = Ipv4{};
    odd.remotePort = 0;
    odd.dhcp = 1;
    const DeviceWords strange = deviceWords(odd);
    EXPECT_EQ(strange.flow, "code 3");
    EXPECT_EQ(strange.serial, "code 1234 8N1");
    EXPECT_EQ(strange.connect, "接続しない");
    EXPECT_EQ(strange.pack, "code 9");
    EXPECT_EQ(strange.remote, "-");
    EXPECT_EQ(strange.address, "automatic");
}

TEST(DeviceTableText, RowsHaveTheHeadersColumnsReadOrNot) {
    const auto header = deviceTableHeader();
    const auto row = deviceTableRow(readDevice());
    ASSERT_EQ(row.size(), header.size());
    EXPECT_EQ(row[0], "02-00-00-00-01-10");
    EXPECT_EQ(row[3], "yes");
    EXPECT_EQ(row[5], "10.77.0.10");

    DeviceRecord off = readDevice();
    off.configured = 0;
    const auto offRow = deviceTableRow(off);
    ASSERT_EQ(offRow.size(), header.size());
    EXPECT_EQ(offRow[3], "no: off the subnet");
    EXPECT_EQ(offRow.back(), "-");
}

TEST(DeviceTableText, ColumnsAlignByTheirWidthOnScreen) {
    EXPECT_EQ(displayWidth("CTS/RTS"), 7u);
    EXPECT_EQ(displayWidth("シリアル受信時"), 14u);        // wide: two columns each
    EXPECT_EQ(displayWidth("ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ52msec"), 17u);  // half-width katakana: one
    EXPECT_EQ(displayWidth("\xE3\x82"), 2u);                // a cut sequence: a column a byte

    std::ostringstream out;
    printAlignedTable({{"A", "B", "C"}, {"接続しない", "x", "end"}, {"ab", "ｱｲ", "z"}}, out);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::size_t> starts;
    while (std::getline(lines, line)) {
        // Where the third column starts, in screen columns.
        const std::size_t cut = line.rfind("  ");
        starts.push_back(displayWidth(line.substr(0, cut + 2)));
        EXPECT_NE(line.back(), ' ');
    }
    EXPECT_EQ(starts, (std::vector<std::size_t>{16, 16, 16}));
}

TEST(DeviceTableText, CsvQuotesOnlyWhatNeedsIt) {
    std::ostringstream out;
    printCsv({{"a", "b,c", "say \"hi\"", ""}, {"x"}}, out);
    EXPECT_EQ(out.str(), "a,\"b,c\",\"say \"\"hi\"\"\",\nx\n");
}

}  // namespace
}  // namespace tamro::cli
