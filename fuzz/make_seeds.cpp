// Writes the seed inputs of every fuzz target from the project's own data:
// the model files and devices files it ships, the blocks those devices hold,
// and the blocks and control values of the patch tests.
//
//   tamro_fuzz_seeds REPO_ROOT OUT_DIR  ->  OUT_DIR/<target>/<seed>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "devsim/devices_file.h"
#include "fuzz_input.h"
#include "models/model_table.h"
#include "patch_fixture.h"
#include "protocol/datagram_layout.h"

using namespace tamro;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeSeed(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

void writeSeed(const fs::path& dir, const std::string& name,
               const std::vector<std::uint8_t>& bytes) {
    writeSeed(dir, name, std::string(bytes.begin(), bytes.end()));
}

// The project's files of one extension under data/, tests/ and fuzz/corpus/,
// in a fixed order.
std::vector<fs::path> projectFiles(const fs::path& root, const std::string& extension) {
    std::vector<fs::path> files;
    for (const char* top : {"data", "tests", "fuzz/corpus"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            if (entry.is_regular_file() && entry.path().extension() == extension) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string seedName(const fs::path& root, const fs::path& file) {
    std::string name = fs::relative(file, root).string();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name;
}

void modelFileSeeds(const fs::path& root, const fs::path& out) {
    for (const fs::path& file : projectFiles(root, ".dat")) {
        const std::string text = readFile(file);
        writeSeed(out, seedName(root, file), text);
        std::string crlf;
        for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        writeSeed(out, seedName(root, file) + ".crlf", crlf);
    }
    // More lines than the table holds, and a line longer than one read.
    std::string full = "Tamro,100\n";
    for (int i = 0; i < maxModels + 4; ++i) full += ",,,,,,,,,,,,,,1\n";
    writeSeed(out, "more_models_than_room.dat", full);
    writeSeed(out, "long_line.dat",
              "Tamro,100\n\"" + std::string(300, 'N') + "\",1,1,1,1,1,1,1,1,1,1,1,1,1,1\n");
}

std::vector<fuzzing::PatchArguments> patchArgumentSets() {
    fuzzing::PatchArguments base;
    base.controls = testing_blocks::patchTestControls();
    base.pendingKeepAlive = 60;
    base.modelVariant = 2;

    auto automatic = base;
    automatic.controls.dhcpChecked = true;
    automatic.controls.baudText = "921600";
    automatic.controls.baudPosition = 12;
    automatic.controls.protocolPosition = 1;
    automatic.modelVariant = 1;

    auto blank = base;
    blank.controls.portText.clear();
    blank.controls.remoteIp = AddressFields{{10, -1, 0, 1}};
    for (auto* p :
         {&blank.controls.dataBitsPosition, &blank.controls.stopBitsPosition,
          &blank.controls.parityPosition, &blank.controls.flowPosition,
          &blank.controls.connectPosition, &blank.controls.packPosition,
          &blank.controls.cp1Position, &blank.controls.cp2Position, &blank.controls.cp3Position}) {
        *p = -1;
    }
    blank.modelVariant.reset();

    auto badMask = base;
    badMask.controls.netmask = AddressFields{{255, 0, 255, 0}};
    return {base, automatic, blank, badMask};
}

void blockSeeds(const fs::path& root, const fs::path& decodeOut, const fs::path& patchOut) {
    struct Source {
        std::string name;
        Ipv4 address;
        ConfigurationBlocks blocks;
    };
    std::vector<Source> sources = {
        {"test_pattern", Ipv4::fromOctets(10, 0, 0, 9), testing_blocks::patchTestBlocks()}};
    for (const fs::path& file : projectFiles(root, ".json")) {
        std::string error;
        const auto definition = devsim::parseSimulationDefinition(readFile(file), error);
        if (!definition) continue;  // not a devices file
        for (std::size_t i = 0; i < definition->devices.size(); ++i) {
            const auto& device = definition->devices[i];
            sources.push_back(
                {seedName(root, file) + "." + std::to_string(i), device.address, device.blocks});
        }
    }

    const auto argumentSets = patchArgumentSets();
    for (const Source& source : sources) {
        fuzzing::ByteWriter decode;
        decode.bytes(source.address.bytes);
        fuzzing::writeBlocks(decode, source.blocks);
        writeSeed(decodeOut, source.name, decode.data());

        for (std::size_t k = 0; k < argumentSets.size(); ++k) {
            fuzzing::ByteWriter patch;
            fuzzing::writeBlocks(patch, source.blocks);
            fuzzing::writePatchArguments(patch, argumentSets[k]);
            writeSeed(patchOut, source.name + ".controls" + std::to_string(k), patch.data());
        }
    }
}

// Per devices file: every device's discovery reply from its own address, then
// the first device's block 0 as a split reply with a stranger's datagram
// in between, as the simulator's faults send them.
void datagramSeeds(const fs::path& root, const fs::path& out) {
    using fuzzing::Datagram;
    for (const fs::path& file : projectFiles(root, ".json")) {
        std::string error;
        const auto definition = devsim::parseSimulationDefinition(readFile(file), error);
        if (!definition) continue;
        const devsim::DeviceDefinition& first = definition->devices.front();
        fuzzing::ByteWriter seed;
        seed.bytes(first.address.bytes);
        seed.uint16(static_cast<std::uint16_t>(block0Length));
        for (const auto& device : definition->devices) {
            Datagram reply;
            reply.kind = Datagram::fromOther;
            reply.sender = device.address;
            reply.senderPort = devicePort;
            reply.bytes = device.discoveryReply;
            fuzzing::writeDatagram(seed, reply);
        }
        const auto& block = first.blocks.block0;
        Datagram head{.kind = Datagram::fromPeer, .senderPort = devicePort};
        head.bytes.assign(block.begin(), block.begin() + 100);
        Datagram stranger{.kind = Datagram::fromOther,
                          .sender = Ipv4::fromOctets(10, 77, 0, 99),
                          .senderPort = devicePort};
        stranger.bytes.assign(block0Length, 0xEE);
        Datagram tail = head;
        tail.bytes.assign(block.begin() + 100, block.end());
        for (const Datagram* d : {&head, &stranger, &tail}) fuzzing::writeDatagram(seed, *d);
        writeSeed(out, seedName(root, file), seed.data());
    }
}

void deviceFileSeeds(const fs::path& root, const fs::path& out) {
    for (const fs::path& file : projectFiles(root, ".json")) {
        writeSeed(out, seedName(root, file), readFile(file));
    }
}

// Settings files: every JSON file of the project (fuzz/corpus/settings_file
// holds real ones; most others are near misses). Address maps: those kept
// for the purpose.
void settingsSeeds(const fs::path& root, const fs::path& settingsOut, const fs::path& mapOut) {
    for (const fs::path& file : projectFiles(root, ".json")) {
        writeSeed(settingsOut, seedName(root, file), readFile(file));
    }
    for (const auto& entry : fs::directory_iterator(root / "fuzz/corpus/address_map")) {
        writeSeed(mapOut, entry.path().filename().string(), readFile(entry.path()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s REPO_ROOT OUT_DIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path out = argv[2];
    modelFileSeeds(root, out / "model_file");
    blockSeeds(root, out / "config_decode", out / "config_patch");
    deviceFileSeeds(root, out / "device_definition");
    datagramSeeds(root, out / "discovery_exchange");
    settingsSeeds(root, out / "settings_file", out / "address_map");
    return 0;
}
