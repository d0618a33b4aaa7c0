#include <gtest/gtest.h>

#include <string>

#include "settings_file.h"

namespace tamro::cli {
namespace {

std::size_t index(std::string_view key) {
    return static_cast<std::size_t>(findSettingKey(key) - settingFlags.data());
}

TEST(SettingsFile, AWrittenDocumentReadsBackWithEveryValue) {
    SettingsDocument document;
    document.mac = std::array<std::uint8_t, 6>{2, 0, 0, 0, 0x1a, 0x2b};
    document.model = "QZ-120L";
    document.version = "1.00";
    const std::array<std::pair<std::string_view, std::string>, 16> values = {{
        {"dhcp", "off"}, {"protocol", "udp"}, {"connect", "none"}, {"ip", "10.77.0.5"},
        {"mask", "255.255.0.0"}, {"gateway", ""}, {"remoteIp", "10.77.0.200"},
        {"port", "10001"}, {"remotePort", "4001"}, {"keepAlive", "65"}, {"baud", "921600"},
        {"dataBits", "7"}, {"parity", "even"}, {"stopBits", "2"}, {"flow", "xon-xoff-lan"},
        {"pack", "off"},
    }};
    for (const auto& [key, value] : values) document.values[index(key)] = value;

    const nlohmann::ordered_json json = settingsJson(document);
    EXPECT_EQ(json["format"], "tamro-settings/1");
    EXPECT_EQ(json["mac"], "02-00-00-00-1A-2B");
    // Marks and numbers as JSON's own types; an address stays a text.
    EXPECT_EQ(json["settings"]["dhcp"], false);
    EXPECT_EQ(json["settings"]["port"], 10001);
    EXPECT_EQ(json["settings"]["baud"], 921600);
    EXPECT_EQ(json["settings"]["ip"], "10.77.0.5");
    EXPECT_EQ(json["settings"]["pack"], "off");

    std::string problem;
    const auto read = parseSettings(json.dump(), "x.json", problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_EQ(read->mac, document.mac);
    EXPECT_EQ(read->model, document.model);
    EXPECT_EQ(read->version, "1.00");
    EXPECT_EQ(read->values, document.values);
}

TEST(SettingsFile, NumbersMayBeTextsAndMissingKeysStayUnset) {
    std::string problem;
    const auto read = parseSettings(
        R"({"format": "tamro-settings/1", "settings": {"port": "10100", "dataBits": 8}})", "x",
        problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_EQ(read->values[index("port")], "10100");
    EXPECT_EQ(read->values[index("dataBits")], "8");
    EXPECT_FALSE(read->values[index("baud")]);
    EXPECT_FALSE(read->mac);
    EXPECT_FALSE(read->model);
}

TEST(SettingsFile, RefusalsNameTheKey) {
    const std::array<std::pair<std::string, std::string>, 6> cases = {{
        {R"({"format": "tamro-settings/1", "settings": {"dhcp": 1}})", "x: settings.dhcp: 1"},
        {R"({"format": "tamro-settings/1", "settings": {"port": 1.5}})", "x: settings.port: 1.5"},
        {R"({"format": "tamro-settings/1", "settings": {"port": "99999999999"}})",
         "x: settings.port: 99999999999: out of range"},
        {R"({"format": "tamro-settings/1", "settings": {"flow": "rts"}})", "x: settings.flow: rts"},
        {R"({"format": "tamro-settings/1", "model": 3})", "x: model:"},
        {R"({"format": "tamro-settings/1", "settings": {}, "settings": {}})",
         "x: settings: given twice"},
    }};
    for (const auto& [text, message] : cases) {
        std::string problem;
        EXPECT_FALSE(parseSettings(text, "x", problem)) << text;
        EXPECT_EQ(problem.rfind(message, 0), 0u) << problem;
    }
}

TEST(AddressMap, HeaderBlanksAndLineEndsAreTolerated) {
    const std::string text =
        "MAC, IP, MASK, GATEWAY\r\n"
        "\r\n"
        " 02:00:00:00:01:21 , 10.77.0.61\r\n"
        "02-00-00-00-01-22,10.77.0.62,,10.77.0.254\n"
        "02-00-00-00-01-23,10.77.0.63,255.255.0.0";
    std::string problem;
    const auto rows = parseAddressMap(text, "m.csv", problem);
    ASSERT_TRUE(rows) << problem;
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[0].line, 3);
    EXPECT_EQ(toDottedText((*rows)[0].ip), "10.77.0.61");
    EXPECT_FALSE((*rows)[0].mask);
    EXPECT_FALSE((*rows)[1].mask);
    EXPECT_EQ(toDottedText(*(*rows)[1].gateway), "10.77.0.254");
    EXPECT_EQ(toDottedText(*(*rows)[2].mask), "255.255.0.0");
    EXPECT_EQ((*rows)[2].mac[5], 0x23);
}

TEST(AddressMap, AnEmptyIpOrTooManyFieldsIsRefused) {
    std::string problem;
    EXPECT_FALSE(parseAddressMap("02-00-00-00-01-21,,255.0.0.0\n", "m", problem));
    EXPECT_EQ(problem, "m:1: ip \"\" is not a dotted address");
    EXPECT_FALSE(parseAddressMap("02-00-00-00-01-21,1.2.3.4,,,5\n", "m", problem));
    EXPECT_EQ(problem, "m:1: give mac,ip[,mask[,gateway]] (5 fields)");
}

TEST(AddressMap, SemicolonsAreNamedAsTheWrongSeparator) {
    std::string problem;
    EXPECT_FALSE(parseAddressMap("mac;ip\n02-00-00-00-01-21;10.77.0.61\n", "m", problem));
    EXPECT_EQ(problem, "m:1: fields are separated by \";\": give them separated by commas, as "
                       "mac,ip[,mask[,gateway]]");
    EXPECT_FALSE(parseAddressMap("\n02-00-00-00-01-21,10.77.0.61\n02-00-00-00-01-22;10.77.0.62\n",
                                 "m", problem));
    EXPECT_EQ(problem, "m:3: fields are separated by \";\": give them separated by commas, as "
                       "mac,ip[,mask[,gateway]]");
    // A semicolon among commas is some other fault, named as before.
    EXPECT_FALSE(parseAddressMap("02-00-00-00-01-21,10.77.0.61;8\n", "m", problem));
    EXPECT_EQ(problem, "m:1: ip \"10.77.0.61;8\" is not a dotted address");
}

}  // namespace
}  // namespace tamro::cli
