// The simulator's devices file on arbitrary text: a file is either refused
// with a message or every value it yields stays inside the documented limits.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "devsim/devices_file.h"
#include "devsim/hex_text.h"
#include "fuzz_input.h"
#include "protocol/device_address.h"

using namespace tamro;
using namespace tamro::devsim;
using fuzzing::check;

namespace {

bool msInRange(std::int32_t ms, std::int32_t high) { return ms >= 0 && ms <= high; }

void checkSizes(const std::vector<std::size_t>& sizes) {
    for (const std::size_t s : sizes) check(s <= maxReplyLength, "split size fits a datagram");
}

template <std::size_t N>
void checkHexRoundTrip(const std::array<std::uint8_t, N>& block) {
    const auto back = parseHex(hexText(block.data(), block.size()));
    check(back && std::equal(back->begin(), back->end(), block.begin(), block.end()),
          "a block reads back from its hex");
}

void checkDevice(const DeviceDefinition& d) {
    check(isUsableUnicast(d.address), "device address is usable unicast");
    check(parseMacText(macText(d.mac)) == d.mac, "the MAC reads back from its text");
    check(d.discoveryReply.size() <= maxReplyLength, "discovery reply fits a datagram");
    if (d.restartMs) check(msInRange(*d.restartMs, 600'000), "device restart within limits");
    checkHexRoundTrip(d.blocks.block0);
    checkHexRoundTrip(d.blocks.block3);
    checkHexRoundTrip(d.blocks.block7);

    const FaultDefinition& f = d.faults;
    for (const auto& sizes : f.readSplit) checkSizes(sizes);
    checkSizes(f.discoverySplit);
    for (const std::size_t extra : f.readOversize)
        check(extra <= 1000, "block oversize within limits");
    check(f.discoveryOversize <= 1000, "discovery oversize within limits");
    check(msInRange(f.splitGapMs, 60'000) && msInRange(f.discoveryDelayMs, 60'000) &&
              msInRange(f.blockDelayMs, 60'000),
          "delays within limits");
    check(f.spoofLength <= maxReplyLength, "spoof length fits a datagram");
    check(f.spoofFrom || f.spoofLength == 0, "a spoof length only with a spoof");
    for (const auto& from : {f.replyFrom, f.discoveryFrom, f.spoofFrom}) {
        if (from) check(isUsableUnicast(*from), "fault source address is usable unicast");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto definition = parseSimulationDefinition(text, error);
    if (!definition) {
        check(!error.empty(), "a refused file comes with a message");
        return 0;
    }
    if (definition->restartMs) {
        check(msInRange(*definition->restartMs, 600'000), "file restart within limits");
    }
    check(!definition->devices.empty() && definition->devices.size() <= 4096,
          "between 1 and 4096 devices");
    std::set<std::uint32_t> addresses;
    for (const DeviceDefinition& device : definition->devices) {
        checkDevice(device);
        check(addresses.insert(device.address.hostOrder()).second, "device addresses distinct");
    }
    return 0;
}
