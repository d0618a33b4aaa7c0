#include "devsim/state_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tamro::devsim {
namespace {

SimulatedDevice device(std::uint8_t last, const Ipv4& address) {
    DeviceDefinition definition;
    definition.address = address;
    definition.mac = {0x02, 0x00, 0x00, 0x00, 0x00, last};
    definition.blocks = fillerBlocks(definition.mac);
    return SimulatedDevice(definition, 300);
}

TEST(StateFile, ListsEveryDeviceWithItsBlocksInHex) {
    std::vector<SimulatedDevice> devices = {device(0x10, Ipv4::fromOctets(10, 77, 0, 10)),
                                            device(0x11, Ipv4::fromOctets(10, 77, 0, 11))};
    beginRestart(devices[1]);
    devices[1].address = Ipv4::fromOctets(10, 77, 0, 30);
    devices[1].blocks.block7[129] = 0xA5;

    const auto root = nlohmann::json::parse(stateFileText(devices));
    ASSERT_EQ(root["devices"].size(), 2U);
    const auto& second = root["devices"][1];
    EXPECT_EQ(second["mac"], "02-00-00-00-00-11");
    EXPECT_EQ(second["address"], "10.77.0.30");
    EXPECT_EQ(second["state"], "restarting");
    EXPECT_EQ(second["restarts"], 1);
    const std::string block7 = second["block7"];
    ASSERT_EQ(block7.size(), 260U);
    EXPECT_EQ(block7.substr(0, 8), "000000e7");
    EXPECT_EQ(block7.substr(258), "a5");
    EXPECT_EQ(root["devices"][0]["state"], "up");
    EXPECT_EQ(std::string(root["devices"][0]["block0"]).size(), 248U);
}

TEST(StateFile, ReplacesTheFileWhole) {
    const auto directory = std::filesystem::temp_directory_path() /
                           ("tamro-state-file-" + std::to_string(::getpid()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "state.json").string();
    std::string error;
    ASSERT_TRUE(replaceFile(path, "first\n", error)) << error;
    ASSERT_TRUE(replaceFile(path, "second\n", error)) << error;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "second\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));

    EXPECT_FALSE(replaceFile((directory / "missing" / "state.json").string(), "x", error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace tamro::devsim
