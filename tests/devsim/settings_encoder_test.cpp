#include "devsim/settings_encoder.h"

#include <gtest/gtest.h>

#include "devsim/definition_values.h"
#include "devsim/device_definition.h"
#include "protocol/config_blocks.h"

namespace tamro::devsim {
namespace {

const Mac mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
const Ipv4 deviceAddress = Ipv4::fromOctets(10, 77, 0, 10);

ConfigurationBlocks encoded(const nlohmann::json& settings) {
    ConfigurationBlocks blocks = fillerBlocks(mac);
    encodeSettings(blocks, settings, deviceAddress, true, "settings");
    return blocks;
}

// The simulator writes its blocks by its own encoder; the tool's decoder
// must read back every setting it was given.
TEST(SettingsEncoder, TheToolReadsBackWhatTheSimulatorEncoded) {
    const ConfigurationBlocks blocks = encoded({
        {"ip", "10.77.0.10"}, {"mask", "255.255.0.0"}, {"gateway", "10.77.0.1"},
        {"keep_alive", 30}, {"data_bits", 7}, {"parity", "even"}, {"stop_bits", 2},
        {"baud", 921600}, {"flow", 2}, {"local_port", 10000}, {"remote_ip", "10.77.0.1"},
        {"remote_port", 9000}, {"protocol", "udp"}, {"pack_control", 4},
        {"cp1", 10}, {"cp2", 13}, {"cp3", 11}});
    DeviceRecord record;
    ASSERT_EQ(decodeConfiguration(blocks, deviceAddress, record), 1);
    EXPECT_EQ(record.dhcp, 0);
    EXPECT_EQ(record.ipAddress, deviceAddress);
    EXPECT_EQ(record.netmask, Ipv4::fromOctets(255, 255, 0, 0));
    EXPECT_EQ(record.gateway, Ipv4::fromOctets(10, 77, 0, 1));
    EXPECT_EQ(record.keepAlive, 30);
    EXPECT_EQ(record.dataBits, 7);
    EXPECT_EQ(record.parity, 2);
    EXPECT_EQ(record.stopBits, 2);
    EXPECT_EQ(record.baudRate, 921600);
    EXPECT_EQ(record.flowControl, 2);
    EXPECT_EQ(record.localPort, 10000);
    EXPECT_EQ(record.remoteIp, Ipv4::fromOctets(10, 77, 0, 1));
    EXPECT_EQ(record.remotePort, 9000);
    EXPECT_EQ(record.protocol, 1);
    EXPECT_EQ(record.packControl, 4);
    EXPECT_EQ(record.cp1Function, 10);
    EXPECT_EQ(record.cp2Function, 13);
    EXPECT_EQ(record.cp3Function, 11);
    EXPECT_EQ(blocks.block3[120] & 0x80, 0x80);
}

TEST(SettingsEncoder, DhcpIsReadAsAutomaticAddressing) {
    const ConfigurationBlocks blocks = encoded({{"dhcp", true}});
    DeviceRecord record;
    ASSERT_EQ(decodeConfiguration(blocks, Ipv4::fromOctets(10, 77, 0, 44), record), 1);
    EXPECT_EQ(record.dhcp, 1);
    EXPECT_EQ(record.ipAddress, Ipv4::fromOctets(10, 77, 0, 44));
}

TEST(SettingsEncoder, BitsAWriteCarriesAlongKeepTheFiller) {
    const ConfigurationBlocks filler = fillerBlocks(mac);
    const ConfigurationBlocks blocks = encoded({{"baud", 9600}, {"pack_control", 0}});
    EXPECT_EQ(blocks.block0[20] & 0x03, filler.block0[20] & 0x03);
    EXPECT_EQ(blocks.block0[38] & 0x7F, filler.block0[38] & 0x7F);
    EXPECT_EQ(blocks.block0[39] & 0xFC, filler.block0[39] & 0xFC);
    EXPECT_EQ(blocks.block3[120] & 0x7F, filler.block3[120] & 0x7F);
    EXPECT_EQ(blocks.block3[120] & 0x80, 0);
}

TEST(SettingsEncoder, ABadSettingNamesItsPlace) {
    ConfigurationBlocks blocks = fillerBlocks(mac);
    try {
        encodeSettings(blocks, {{"mask", "255.0.255.0"}}, deviceAddress, true,
                       "devices[2].settings");
        FAIL() << "a broken mask was taken";
    } catch (const DefinitionError& error) {
        EXPECT_STREQ(error.what(), "devices[2].settings.mask: is not contiguous");
    }
}

}  // namespace
}  // namespace tamro::devsim
