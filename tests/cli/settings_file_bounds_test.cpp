#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings_file.h"

namespace tamro::cli {
namespace {

std::string withSettings(const std::string& settings) {
    return R"({"format": "tamro-settings/1", "settings": {)" + settings + "}}";
}

// The problem for `text`, or "" when it reads.
std::string problemOf(const std::string& text) {
    std::string problem;
    return parseSettings(text, "x", problem) ? std::string() : problem;
}

TEST(SettingsFileValues, AnAddressWithABlankFieldIsRefused) {
    EXPECT_EQ(problemOf(withSettings(R"("ip": "10.77..50")")),
              "x: settings.ip: 10.77..50: a field is blank (give all four numbers, or \"\" for "
              "a blank address)");
    for (const char* key : {"mask", "gateway", "remoteIp"}) {
        const std::string text = withSettings("\"" + std::string(key) + "\": \"255.255.255.\"");
        EXPECT_NE(problemOf(text).find("a field is blank"), std::string::npos) << key;
    }
    // A whole blank address and a whole one still read.
    EXPECT_EQ(problemOf(withSettings(R"("gateway": "", "ip": "10.77.0.50")")), "");
}

TEST(SettingsFileValues, AnEmptyTextForANumberIsRefused) {
    for (const char* key : {"port", "remotePort", "keepAlive"}) {
        const std::string text = withSettings("\"" + std::string(key) + "\": \"\"");
        EXPECT_EQ(problemOf(text), "x: settings." + std::string(key) + ": \"\": give a number")
            << key;
    }
    EXPECT_EQ(problemOf(withSettings(R"("keepAlive": "0", "port": 10001)")), "");
}

TEST(SettingsFileBounds, DeepNestingIsRefusedBeforeParsing) {
    // Deep enough to overflow the stack of anything that recurses into it.
    const std::size_t depth = 80000;
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_EQ(problemOf(withSettings("\"port\": " + deep)),
              "x: nested deeper than 8 levels: not a settings file");
    EXPECT_NE(problemOf(std::string(depth, '{')), "");
    // Brackets inside strings are text, not nesting; an escaped quote does
    // not end the string.
    const std::string inString = std::string(100, '[') + "\\\"" + std::string(100, '{');
    EXPECT_NE(problemOf(withSettings("\"flow\": \"" + inString + "\"")).find("settings.flow"),
              std::string::npos);
    // Eight levels are still read (and refused only for what they hold).
    const std::string eight = "[[[[[[1]]]]]]";
    EXPECT_NE(problemOf(withSettings("\"port\": " + eight)).find("settings.port"),
              std::string::npos);
}

TEST(SettingsFileBounds, TextAfterTheValueIsRefusedEvenBehindANul) {
    const std::string document = withSettings(R"("port": 10001)");
    EXPECT_EQ(problemOf(document), "");
    std::string behindNul = document + '\0' + R"({"settings": {"port": 1}})";
    EXPECT_EQ(problemOf(behindNul), "x: a NUL byte at offset " +
                                        std::to_string(document.size()) +
                                        ": not a JSON document (nothing may follow its value)");
    EXPECT_EQ(problemOf(document + " {}"), "x: not a JSON document");
}

TEST(SettingsFileBounds, MoreThanOneMebibyteIsRefused) {
    std::string padded = withSettings(R"("port": 10001)");
    padded += std::string(maxSettingsFileBytes - padded.size(), ' ');
    EXPECT_EQ(problemOf(padded), "");
    padded += ' ';
    EXPECT_EQ(problemOf(padded), "x: larger than 1024 KiB (1048577 bytes)");
    std::string problem;
    const std::string map = "02-00-00-00-01-21,10.77.0.61\n" + std::string(maxSettingsFileBytes, '\n');
    EXPECT_FALSE(parseAddressMap(map, "m", problem));
    EXPECT_EQ(problem.rfind("m: larger than 1024 KiB", 0), 0u) << problem;
}

TEST(SettingsFileBounds, ReadingStopsPastTheLimit) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "tamro-settings-bounds-test.json";
    {
        std::ofstream file(path, std::ios::binary);
        file << std::string(2 * maxSettingsFileBytes, ' ');
    }
    std::string problem;
    EXPECT_FALSE(readWholeFile(path.string(), problem));
    EXPECT_EQ(problem, path.string() + ": larger than 1048576 bytes");
    EXPECT_EQ(readWholeFile(path.string(), problem, 3 * maxSettingsFileBytes)->size(),
              2 * maxSettingsFileBytes);
    std::filesystem::remove(path);
}

TEST(AddressMapValues, AnAddressWithABlankFieldIsRefused) {
    std::string problem;
    EXPECT_FALSE(parseAddressMap("02-00-00-00-01-21,10.77..50\n", "m", problem));
    EXPECT_EQ(problem, "m:1: ip \"10.77..50\" is not a dotted address");
    EXPECT_FALSE(parseAddressMap("02-00-00-00-01-21,10.77.0.50,255.255..0\n", "m", problem));
    EXPECT_EQ(problem, "m:1: mask \"255.255..0\" is not a dotted address");
}

}  // namespace
}  // namespace tamro::cli
