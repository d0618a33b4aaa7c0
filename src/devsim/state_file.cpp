#include "devsim/state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <nlohmann/json.hpp>

#include "devsim/hex_text.h"
#include "protocol/device_address.h"

namespace tamro::devsim {

std::string stateFileText(std::span<const SimulatedDevice> devices) {
    nlohmann::ordered_json root;
    root["devices"] = nlohmann::ordered_json::array();
    for (const SimulatedDevice& device : devices) {
        nlohmann::ordered_json entry;
        entry["mac"] = macText(device.definition.mac);
        entry["address"] = toDottedText(device.address);
        entry["state"] = stateText(device.state);
        entry["restarts"] = device.restarts;
        entry["block0"] = hexText(device.blocks.block0.data(), device.blocks.block0.size());
        entry["block3"] = hexText(device.blocks.block3.data(), device.blocks.block3.size());
        entry["block7"] = hexText(device.blocks.block7.data(), device.blocks.block7.size());
        root["devices"].push_back(std::move(entry));
    }
    return root.dump(1) + '\n';
}

bool replaceFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << text;
        if (!out) {
            error = "cannot write " + partial;
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tamro::devsim
