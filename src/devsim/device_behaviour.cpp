#include "devsim/device_behaviour.h"

#include <algorithm>

#include "protocol/datagram_layout.h"

namespace tamro::devsim {

namespace {

using Datagram = std::span<const std::uint8_t>;

bool isRequest(Datagram data, std::uint8_t command) {
    return data.size() == headerLength && data[0] == 0 && data[1] == 0 && data[2] == 0 &&
           data[3] == command;
}

bool isWriteHeader(Datagram data, std::size_t slot) {
    return data.size() >= headerLength && data[0] == 0 && data[1] == blockWriteFlags[slot] &&
           data[2] == 0 && data[3] == blockWriteCommand(configurationBlockNumbers[slot]);
}

bool isAssignment(Datagram data) {
    if (data.size() != assignmentPacketLength) return false;
    if (data[0] != 0 || data[1] != 0 || data[2] != 0 || data[3] != assignmentCommand) return false;
    const auto tag = data.subspan(assignmentTagOffset, assignmentTag.size());
    const auto sameCharacter = [](std::uint8_t byte, char c) {
        return byte == static_cast<std::uint8_t>(c);
    };
    if (!std::equal(tag.begin(), tag.end(), assignmentTag.begin(), sameCharacter)) return false;
    const std::size_t afterTag = assignmentTagOffset + assignmentTag.size();
    return data[afterTag] == 0 && data[afterTag + 1] == 0;
}

bool isAssignmentFor(const SimulatedDevice& device, Datagram data) {
    return data[assignmentMacOffset] == device.definition.mac[4] &&
           data[assignmentMacOffset + 1] == device.definition.mac[5];
}

Ipv4 addressAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    Ipv4 address;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), 4, address.bytes.begin());
    return address;
}

// Appends `payload` as the datagrams its split fault makes of it, the parts
// `splitGapMs` apart.
void appendParts(std::vector<OutgoingDatagram>& out, const SimulatedDevice& device,
                 const Ipv4& from, const Endpoint& to, const Bytes& payload,
                 const std::vector<std::size_t>& sizes, std::int32_t delayMs,
                 const std::string& what) {
    std::vector<Bytes> parts = splitPayload(payload, sizes);
    const std::int32_t gapMs = device.definition.faults.splitGapMs;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        OutgoingDatagram datagram;
        datagram.from = from;
        datagram.to = to;
        datagram.payload = std::move(parts[i]);
        datagram.delayMs = delayMs + gapMs * static_cast<std::int32_t>(i);
        datagram.what = parts.size() > 1 ? what + " part " + std::to_string(i + 1) + "/" +
                                               std::to_string(parts.size())
                                         : what;
        out.push_back(std::move(datagram));
    }
}

std::vector<OutgoingDatagram> discoveryReplies(const SimulatedDevice& device,
                                               const Endpoint& querier) {
    const FaultDefinition& faults = device.definition.faults;
    Bytes reply = device.definition.discoveryReply;
    for (std::size_t extra = 0; extra < faults.discoveryOversize; ++extra) {
        reply.push_back(fillerByte(device.definition.mac, discoveryPart, reply.size()));
    }
    const Endpoint to =
        faults.discoveryBroadcastTo ? Endpoint{*faults.discoveryBroadcastTo, devicePort} : querier;
    const Ipv4 from = faults.discoveryFrom.value_or(device.address);
    std::vector<OutgoingDatagram> out;
    const int copies = faults.discoveryTwice ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy) {
        appendParts(out, device, from, to, reply, faults.discoverySplit, faults.discoveryDelayMs,
                    "discovery reply");
    }
    return out;
}

std::vector<OutgoingDatagram> blockReplies(const SimulatedDevice& device, std::size_t slot,
                                           const Endpoint& requester) {
    const FaultDefinition& faults = device.definition.faults;
    const auto block = blockBytes(device.blocks, slot);
    Bytes reply(block.begin(), block.end());
    for (std::size_t extra = 0; extra < faults.readOversize[slot]; ++extra) {
        reply.push_back(fillerByte(device.definition.mac, slot, reply.size()));
    }
    const std::string what = "block " + std::to_string(configurationBlockNumbers[slot]);
    std::vector<OutgoingDatagram> out;
    if (faults.spoofFrom && faults.spoofBlocks[slot]) {
        out.push_back({*faults.spoofFrom, requester, Bytes(faults.spoofLength, faults.spoofFill), 0,
                       "spoof before " + what});
    }
    appendParts(out, device, faults.replyFrom.value_or(device.address), requester, reply,
                faults.readSplit[slot], faults.blockDelayMs, what);
    return out;
}

Response takeWrite(SimulatedDevice& device, std::size_t slot, const Endpoint& requester,
                   Datagram data) {
    const FaultDefinition& faults = device.definition.faults;
    // The device keeps exactly what it was sent, header included, but for
    // the bytes a fault has it keep.
    const auto stored = blockBytes(device.blocks, slot);
    const Bytes kept(stored.begin(), stored.end());
    std::copy(data.begin(), data.end(), stored.begin());
    for (const ByteRange& range : faults.keepOnWrite) {
        if (range.slot != slot || range.offset + range.length > data.size()) continue;
        std::copy_n(kept.begin() + static_cast<std::ptrdiff_t>(range.offset), range.length,
                    stored.begin() + static_cast<std::ptrdiff_t>(range.offset));
    }
    device.writtenSinceRestart[slot] = true;

    Response response;
    response.blocksChanged = true;
    response.replies.push_back({faults.replyFrom.value_or(device.address), requester,
                                Bytes(data.begin(), data.begin() + headerLength),
                                faults.blockDelayMs,
                                "write answer " + std::to_string(configurationBlockNumbers[slot])});

    const bool last = slot + 1 == configurationBlockNumbers.size();
    const bool complete = last && std::all_of(device.writtenSinceRestart.begin(),
                                              device.writtenSinceRestart.end(),
                                              [](bool written) { return written; });
    if (complete) {
        // A complete configuration takes effect by a restart, once the answer is out.
        const Block0& block0 = device.blocks.block0;
        const Ipv4 comeBackAt = holdsAutomaticAddress(block0) ? device.address
                                                              : addressAt(block0, block0Offset::ip);
        response.restart = PlannedRestart{comeBackAt, faults.blockDelayMs};
    }
    return response;
}

Response takeAssignment(SimulatedDevice& device, Datagram data) {
    // The device keeps the given address as its own fixed one.
    const Ipv4 address = addressAt(data, assignmentAddressOffset);
    std::copy(address.bytes.begin(), address.bytes.end(),
              device.blocks.block0.begin() + block0Offset::ip);
    Response response;
    response.blocksChanged = true;
    response.restart = PlannedRestart{address, std::nullopt};
    return response;
}

Response takenAs(std::string what, Response response = {}) {
    response.what = std::move(what);
    return response;
}

}  // namespace

std::string_view stateText(DeviceState state) {
    switch (state) {
        case DeviceState::up: return "up";
        case DeviceState::restarting: return "restarting";
        case DeviceState::offline: return "offline";
    }
    return "?";
}

Response takeUnicast(SimulatedDevice& device, const Endpoint& from, Datagram data) {
    if (device.state != DeviceState::up) {
        return takenAs("ignored: " + std::string(stateText(device.state)));
    }
    const FaultDefinition& faults = device.definition.faults;
    if (isRequest(data, discoveryCommand)) {
        Response response;
        response.replies = discoveryReplies(device, from);
        return takenAs("discovery", std::move(response));
    }
    for (std::size_t slot = 0; slot < configurationBlockNumbers.size(); ++slot) {
        const std::uint8_t number = configurationBlockNumbers[slot];
        const std::string numberText = std::to_string(number);
        if (isRequest(data, blockReadCommand(number))) {
            if (faults.silentRead[slot]) return takenAs("read " + numberText + ": not answered");
            Response response;
            response.replies = blockReplies(device, slot, from);
            return takenAs("read " + numberText, std::move(response));
        }
        if (isWriteHeader(data, slot)) {
            if (data.size() != configurationBlockLengths[slot]) {
                return takenAs("ignored: write " + numberText + " of wrong length");
            }
            if (faults.silentWrite[slot]) return takenAs("write " + numberText + ": not answered");
            return takenAs("write " + numberText, takeWrite(device, slot, from, data));
        }
    }
    if (isAssignment(data)) {
        if (!isAssignmentFor(device, data)) {
            return takenAs("ignored: assignment for another device");
        }
        return takenAs("assignment", takeAssignment(device, data));
    }
    return takenAs("ignored: unknown request");
}

Response takeBroadcast(SimulatedDevice& device, const Endpoint& from, Datagram data) {
    // The two broadcast requests mean the same sent to the device's own address.
    const bool broadcastRequest = isRequest(data, discoveryCommand) || isAssignment(data);
    if (broadcastRequest || device.state != DeviceState::up) return takeUnicast(device, from, data);
    return takenAs(std::string(broadcastWhat(data)));
}

std::string_view broadcastWhat(Datagram data) {
    if (isRequest(data, discoveryCommand)) return "discovery";
    if (isAssignment(data)) return "assignment";
    return "ignored: not a broadcast request";
}

void beginRestart(SimulatedDevice& device) {
    ++device.generation;
    ++device.restarts;
    device.state = DeviceState::restarting;
    device.writtenSinceRestart = {};
}

std::vector<Bytes> splitPayload(const Bytes& payload, const std::vector<std::size_t>& sizes) {
    std::vector<Bytes> parts;
    std::size_t position = 0;
    for (const std::size_t size : sizes) {
        if (size != 0 && position >= payload.size()) break;
        const std::size_t take = std::min(size, payload.size() - position);
        parts.emplace_back(payload.begin() + static_cast<std::ptrdiff_t>(position),
                           payload.begin() + static_cast<std::ptrdiff_t>(position + take));
        position += take;
    }
    if (position < payload.size() || parts.empty()) {
        parts.emplace_back(payload.begin() + static_cast<std::ptrdiff_t>(position), payload.end());
    }
    return parts;
}

}  // namespace tamro::devsim
