#include "devsim/device_behaviour.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/address_assignment.h"

namespace tamro::devsim {
namespace {

// Requests are spelled out byte by byte here, not built from the shared
// layout, so that a wrong constant cannot agree with itself.
const Bytes discoveryQuery = {0x00, 0x00, 0x00, 0xF6};
const std::array<Bytes, 3> readRequests = {Bytes{0x00, 0x00, 0x00, 0xE0},
                                           Bytes{0x00, 0x00, 0x00, 0xE3},
                                           Bytes{0x00, 0x00, 0x00, 0xE7}};
const std::array<std::size_t, 3> lengths = {124, 130, 130};

const Ipv4 deviceAddress = Ipv4::fromOctets(10, 77, 0, 10);
const Endpoint tool{Ipv4::fromOctets(10, 77, 0, 1), 40000};

DeviceDefinition plainDefinition() {
    DeviceDefinition definition;
    definition.address = deviceAddress;
    definition.mac = {0x02, 0x00, 0x00, 0x00, 0x12, 0x34};
    definition.discoveryReply = buildDiscoveryReply(definition.mac, definition.typeCode);
    definition.blocks = fillerBlocks(definition.mac);
    return definition;
}

SimulatedDevice deviceWith(const FaultDefinition& faults) {
    DeviceDefinition definition = plainDefinition();
    definition.faults = faults;
    return SimulatedDevice(definition, 300);
}

// A whole block as the tool writes it: 00 F 00 C0+n, then `fill`.
Bytes writeOf(std::size_t slot, std::uint8_t fill) {
    constexpr std::array<std::uint8_t, 3> flags = {0x01, 0x01, 0x00};
    constexpr std::array<std::uint8_t, 3> commands = {0xC0, 0xC3, 0xC7};
    Bytes block(lengths[slot], fill);
    block[0] = 0x00;
    block[1] = flags[slot];
    block[2] = 0x00;
    block[3] = commands[slot];
    return block;
}

Bytes assignmentFor(std::uint8_t mac4, std::uint8_t mac5, const Ipv4& address) {
    const auto& to = address.bytes;
    return {0x00, 0x00, 0x00, 0xFC, 'I', 'P', '-', 'S', 'E', 'T',
            'U',  'P',  0x00, 0x00, mac4, mac5, to[0], to[1], to[2], to[3]};
}

Bytes bytesOf(std::span<const std::uint8_t> bytes) { return Bytes(bytes.begin(), bytes.end()); }

TEST(DeviceDiscovery, AnswersTheQuerierFromItsAddressWithTypeCodeAndMac) {
    SimulatedDevice device = deviceWith({});
    const Response response = takeUnicast(device, tool, discoveryQuery);
    EXPECT_EQ(response.what, "discovery");
    ASSERT_EQ(response.replies.size(), 1U);
    const OutgoingDatagram& reply = response.replies[0];
    EXPECT_EQ(reply.from, deviceAddress);
    EXPECT_EQ(reply.to, tool);
    EXPECT_EQ(reply.delayMs, 0);
    EXPECT_EQ(reply.what, "discovery reply");
    ASSERT_EQ(reply.payload.size(), 30U);
    EXPECT_EQ(Bytes(reply.payload.begin(), reply.payload.begin() + 4),
              (Bytes{0x00, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(reply.payload[8], 'X');
    EXPECT_EQ(reply.payload[9], '1');
    EXPECT_EQ(Bytes(reply.payload.begin() + 24, reply.payload.end()),
              (Bytes{0x02, 0x00, 0x00, 0x00, 0x12, 0x34}));
    // The bytes in between are the device's filler, not zeros.
    EXPECT_EQ(reply.payload[4], fillerByte(device.definition.mac, discoveryPart, 4));
    EXPECT_FALSE(response.blocksChanged);
    EXPECT_FALSE(response.restart);
}

TEST(DeviceDiscovery, FaultsShapeTheReply) {
    FaultDefinition faults;
    faults.discoveryTwice = true;
    faults.discoverySplit = {10};
    faults.splitGapMs = 5;
    faults.discoveryDelayMs = 100;
    faults.discoveryOversize = 2;
    faults.discoveryFrom = Ipv4::fromOctets(10, 77, 0, 97);
    faults.discoveryBroadcastTo = Ipv4::fromOctets(10, 77, 255, 255);
    SimulatedDevice device = deviceWith(faults);
    const Response response = takeUnicast(device, tool, discoveryQuery);

    ASSERT_EQ(response.replies.size(), 4U);
    const std::array<std::int32_t, 4> delays = {100, 105, 100, 105};
    const std::array<std::size_t, 4> sizes = {10, 22, 10, 22};
    Bytes whole;
    for (std::size_t i = 0; i < 4; ++i) {
        const OutgoingDatagram& part = response.replies[i];
        EXPECT_EQ(part.delayMs, delays[i]) << i;
        EXPECT_EQ(part.payload.size(), sizes[i]) << i;
        EXPECT_EQ(part.from, Ipv4::fromOctets(10, 77, 0, 97));
        EXPECT_EQ(part.to, (Endpoint{Ipv4::fromOctets(10, 77, 255, 255), 30718}));
        if (i < 2) whole.insert(whole.end(), part.payload.begin(), part.payload.end());
    }
    EXPECT_EQ(response.replies[0].what, "discovery reply part 1/2");
    EXPECT_EQ(response.replies[3].what, "discovery reply part 2/2");
    // The two extra bytes carry the filler on from where the reply ends.
    Bytes expected = device.definition.discoveryReply;
    expected.push_back(fillerByte(device.definition.mac, discoveryPart, 30));
    expected.push_back(fillerByte(device.definition.mac, discoveryPart, 31));
    EXPECT_EQ(whole, expected);
}

TEST(DeviceRead, EachBlockComesBackAsStored) {
    SimulatedDevice device = deviceWith({});
    for (std::size_t slot = 0; slot < 3; ++slot) {
        const Response response = takeUnicast(device, tool, readRequests[slot]);
        const std::string number = std::to_string(configurationBlockNumbers[slot]);
        EXPECT_EQ(response.what, "read " + number);
        ASSERT_EQ(response.replies.size(), 1U);
        const OutgoingDatagram& reply = response.replies[0];
        EXPECT_EQ(reply.payload, bytesOf(blockBytes(device.blocks, slot)));
        EXPECT_EQ(reply.payload.size(), lengths[slot]);
        EXPECT_EQ(reply.from, deviceAddress);
        EXPECT_EQ(reply.to, tool);
        EXPECT_EQ(reply.what, "block " + number);
    }
    // A built block is headed by the request that reads it.
    EXPECT_EQ(Bytes(device.blocks.block3.begin(), device.blocks.block3.begin() + 4),
              readRequests[1]);
}

TEST(DeviceRead, SilentBlocksAreNotAnsweredAndTheOthersAre) {
    FaultDefinition faults;
    faults.silentRead = {false, true, false};
    SimulatedDevice device = deviceWith(faults);
    const Response silent = takeUnicast(device, tool, readRequests[1]);
    EXPECT_EQ(silent.what, "read 3: not answered");
    EXPECT_TRUE(silent.replies.empty());
    EXPECT_EQ(takeUnicast(device, tool, readRequests[0]).replies.size(), 1U);
    EXPECT_EQ(takeUnicast(device, tool, readRequests[2]).replies.size(), 1U);
}

TEST(DeviceRead, SplitOversizeDelayAndOtherSource) {
    FaultDefinition faults;
    faults.readSplit[1] = {0, 60};
    faults.readOversize[2] = 6;
    faults.blockDelayMs = 40;
    faults.replyFrom = Ipv4::fromOctets(10, 77, 0, 99);
    SimulatedDevice device = deviceWith(faults);

    const Response split = takeUnicast(device, tool, readRequests[1]);
    ASSERT_EQ(split.replies.size(), 3U);
    EXPECT_TRUE(split.replies[0].payload.empty());
    EXPECT_EQ(split.replies[1].payload.size(), 60U);
    EXPECT_EQ(split.replies[2].payload.size(), 70U);
    EXPECT_EQ(split.replies[2].what, "block 3 part 3/3");
    for (const OutgoingDatagram& part : split.replies) {
        EXPECT_EQ(part.delayMs, 40);
        EXPECT_EQ(part.from, Ipv4::fromOctets(10, 77, 0, 99));
    }

    const Response oversize = takeUnicast(device, tool, readRequests[2]);
    ASSERT_EQ(oversize.replies.size(), 1U);
    const Bytes& payload = oversize.replies[0].payload;
    ASSERT_EQ(payload.size(), 136U);
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 130), bytesOf(device.blocks.block7));
    EXPECT_EQ(payload[135], fillerByte(device.definition.mac, 2, 135));
}

TEST(DeviceRead, SpoofGoesOutFirstAndOnlyBeforeItsBlocks) {
    FaultDefinition faults;
    faults.spoofFrom = Ipv4::fromOctets(10, 77, 0, 98);
    faults.spoofLength = 124;
    faults.spoofFill = 0xEE;
    faults.spoofBlocks = {true, false, false};
    faults.blockDelayMs = 20;
    SimulatedDevice device = deviceWith(faults);

    const Response spoofed = takeUnicast(device, tool, readRequests[0]);
    ASSERT_EQ(spoofed.replies.size(), 2U);
    const OutgoingDatagram& spoof = spoofed.replies[0];
    EXPECT_EQ(spoof.from, Ipv4::fromOctets(10, 77, 0, 98));
    EXPECT_EQ(spoof.to, tool);
    EXPECT_EQ(spoof.payload, Bytes(124, 0xEE));
    EXPECT_EQ(spoof.delayMs, 0);
    EXPECT_EQ(spoof.what, "spoof before block 0");
    EXPECT_EQ(spoofed.replies[1].from, deviceAddress);
    EXPECT_EQ(spoofed.replies[1].delayMs, 20);

    EXPECT_EQ(takeUnicast(device, tool, readRequests[1]).replies.size(), 1U);
}

TEST(DeviceWrite, KeepsTheBlockAsSentAndAnswersWithItsHeader) {
    FaultDefinition faults;
    faults.blockDelayMs = 15;
    SimulatedDevice device = deviceWith(faults);
    const Bytes written = writeOf(0, 0x5A);
    const Response response = takeUnicast(device, tool, written);
    EXPECT_EQ(response.what, "write 0");
    EXPECT_EQ(bytesOf(device.blocks.block0), written);
    EXPECT_TRUE(response.blocksChanged);
    ASSERT_EQ(response.replies.size(), 1U);
    EXPECT_EQ(response.replies[0].payload, (Bytes{0x00, 0x01, 0x00, 0xC0}));
    EXPECT_EQ(response.replies[0].delayMs, 15);
    EXPECT_EQ(response.replies[0].what, "write answer 0");
    EXPECT_FALSE(response.restart);
}

TEST(DeviceWrite, AllThreeBlocksRestartTheDeviceAtItsNewAddressAfterTheAnswer) {
    FaultDefinition faults;
    faults.blockDelayMs = 25;
    SimulatedDevice device = deviceWith(faults);
    Bytes block0 = writeOf(0, 0x11);
    const Ipv4 newAddress = Ipv4::fromOctets(10, 77, 0, 30);
    std::copy(newAddress.bytes.begin(), newAddress.bytes.end(), block0.begin() + 4);
    EXPECT_FALSE(takeUnicast(device, tool, block0).restart);
    EXPECT_FALSE(takeUnicast(device, tool, writeOf(1, 0x33)).restart);
    const Response last = takeUnicast(device, tool, writeOf(2, 0x77));
    ASSERT_TRUE(last.restart);
    EXPECT_EQ(*last.restart, (PlannedRestart{newAddress, 25}));
    EXPECT_EQ(last.replies.size(), 1U);
    // The device itself goes quiet only when the restart is carried out.
    EXPECT_EQ(device.state, DeviceState::up);
}

TEST(DeviceWrite, BlockSevenAloneOrFirstIsNoCompleteConfiguration) {
    SimulatedDevice device = deviceWith({});
    EXPECT_FALSE(takeUnicast(device, tool, writeOf(2, 0x77)).restart);
    EXPECT_FALSE(takeUnicast(device, tool, writeOf(0, 0x11)).restart);
    EXPECT_FALSE(takeUnicast(device, tool, writeOf(1, 0x33)).restart);
    EXPECT_TRUE(takeUnicast(device, tool, writeOf(2, 0x77)).restart);
}

TEST(DeviceWrite, AnAutomaticAddressComesBackWhereTheDeviceWas) {
    SimulatedDevice device = deviceWith({});
    Bytes block0 = writeOf(0, 0x11);
    // Bytes 4, 5 and 7 zero say "automatic"; byte 6 does not count.
    block0[4] = 0;
    block0[5] = 0;
    block0[6] = 9;
    block0[7] = 0;
    takeUnicast(device, tool, block0);
    takeUnicast(device, tool, writeOf(1, 0x33));
    const Response last = takeUnicast(device, tool, writeOf(2, 0x77));
    ASSERT_TRUE(last.restart);
    EXPECT_EQ(last.restart->address, deviceAddress);
}

TEST(DeviceWrite, WrongLengthWrongFlagAndSilentWritesChangeNothing) {
    FaultDefinition faults;
    faults.silentWrite = {false, true, false};
    SimulatedDevice device = deviceWith(faults);
    const ConfigurationBlocks before = device.blocks;

    Bytes shorter = writeOf(0, 0x11);
    shorter.pop_back();
    const Response wrongLength = takeUnicast(device, tool, shorter);
    EXPECT_EQ(wrongLength.what, "ignored: write 0 of wrong length");

    Bytes wrongFlag = writeOf(0, 0x11);
    wrongFlag[1] = 0x00;
    const Response unknown = takeUnicast(device, tool, wrongFlag);
    EXPECT_EQ(unknown.what, "ignored: unknown request");

    const Response silent = takeUnicast(device, tool, writeOf(1, 0x33));
    EXPECT_EQ(silent.what, "write 3: not answered");

    for (const Response* response : {&wrongLength, &unknown, &silent}) {
        EXPECT_TRUE(response->replies.empty());
        EXPECT_FALSE(response->blocksChanged);
    }
    EXPECT_EQ(device.blocks, before);
    EXPECT_EQ(device.writtenSinceRestart, (std::array<bool, 3>{}));
}

TEST(DeviceWrite, KeptBytesSurviveAndTheRestIsWritten) {
    FaultDefinition faults;
    faults.keepOnWrite = {ByteRange{0, 21, 2}, ByteRange{2, 129, 1}};
    SimulatedDevice device = deviceWith(faults);
    const std::uint8_t baud = device.blocks.block0[21];
    const std::uint8_t flow = device.blocks.block0[22];
    const Response response = takeUnicast(device, tool, writeOf(0, 0x5A));
    EXPECT_EQ(response.replies.size(), 1U);
    EXPECT_EQ(device.blocks.block0[20], 0x5A);
    EXPECT_EQ(device.blocks.block0[21], baud);
    EXPECT_EQ(device.blocks.block0[22], flow);
    EXPECT_EQ(device.blocks.block0[23], 0x5A);
}

TEST(DeviceAssignment, ItsOwnMacTakesTheAddressAndRestartsAtOnce) {
    SimulatedDevice device = deviceWith({});
    const Ipv4 assigned = Ipv4::fromOctets(10, 77, 0, 20);
    // Only the last two MAC bytes are in the packet.
    const Response response = takeUnicast(device, tool, assignmentFor(0x12, 0x34, assigned));
    EXPECT_EQ(response.what, "assignment");
    EXPECT_TRUE(response.replies.empty());
    EXPECT_TRUE(response.blocksChanged);
    ASSERT_TRUE(response.restart);
    EXPECT_EQ(*response.restart, (PlannedRestart{assigned, std::nullopt}));
    EXPECT_EQ(Bytes(device.blocks.block0.begin() + 4, device.blocks.block0.begin() + 8),
              (Bytes{10, 77, 0, 20}));
}

TEST(DeviceAssignment, AnotherMacChangesNothing) {
    SimulatedDevice device = deviceWith({});
    const ConfigurationBlocks before = device.blocks;
    const Ipv4 assigned = Ipv4::fromOctets(10, 77, 0, 20);
    for (const Bytes& packet :
         {assignmentFor(0x12, 0x35, assigned), assignmentFor(0x13, 0x34, assigned)}) {
        const Response response = takeBroadcast(device, tool, packet);
        EXPECT_EQ(response.what, "ignored: assignment for another device");
        EXPECT_FALSE(response.restart);
        EXPECT_FALSE(response.blocksChanged);
    }
    EXPECT_EQ(device.blocks, before);
}

TEST(DeviceAssignment, TheToolsPacketIsUnderstood) {
    SimulatedDevice device = deviceWith({});
    const auto packet = buildAssignmentPacket({0x0E, 0x99, 0x88, 0x77, 0x12, 0x34},
                                              Ipv4::fromOctets(192, 168, 1, 10));
    const Response response = takeBroadcast(device, tool, packet);
    ASSERT_TRUE(response.restart);
    EXPECT_EQ(response.restart->address, Ipv4::fromOctets(192, 168, 1, 10));
}

TEST(DeviceRequests, ShortLongOrMisspelledDatagramsGetNoReply) {
    SimulatedDevice device = deviceWith({});
    const ConfigurationBlocks before = device.blocks;
    const Ipv4 assigned = Ipv4::fromOctets(10, 77, 0, 20);
    Bytes longRead = readRequests[0];
    longRead.push_back(0x00);
    Bytes longQuery = discoveryQuery;
    longQuery.push_back(0x00);
    Bytes shortAssignment = assignmentFor(0x12, 0x34, assigned);
    shortAssignment.pop_back();
    Bytes longAssignment = assignmentFor(0x12, 0x34, assigned);
    longAssignment.push_back(0x00);
    Bytes otherTag = assignmentFor(0x12, 0x34, assigned);
    otherTag[4] = 'i';
    Bytes gapFilled = assignmentFor(0x12, 0x34, assigned);
    gapFilled[13] = 0x01;
    const std::vector<Bytes> datagrams = {
        {}, {0x00, 0x00, 0xE0}, longRead, longQuery, {0x01, 0x00, 0x00, 0xE0},
        shortAssignment, longAssignment, otherTag, gapFilled, Bytes(2000, 0x00)};
    for (const Bytes& datagram : datagrams) {
        const Response response = takeUnicast(device, tool, datagram);
        EXPECT_EQ(response.what, "ignored: unknown request") << datagram.size();
        EXPECT_TRUE(response.replies.empty());
        EXPECT_FALSE(response.restart);
    }
    EXPECT_EQ(device.blocks, before);
}

TEST(DeviceRestart, ARestartingDeviceHearsNothingAndForgetsEarlierWrites) {
    SimulatedDevice device = deviceWith({});
    takeUnicast(device, tool, writeOf(0, 0x11));
    takeUnicast(device, tool, writeOf(1, 0x33));
    beginRestart(device);
    EXPECT_EQ(device.state, DeviceState::restarting);
    EXPECT_EQ(device.restarts, 1);
    EXPECT_EQ(device.generation, 1U);

    for (const Bytes& datagram : {discoveryQuery, readRequests[0], writeOf(2, 0x77)}) {
        const Response response = takeUnicast(device, tool, datagram);
        EXPECT_EQ(response.what, "ignored: restarting");
        EXPECT_TRUE(response.replies.empty());
        EXPECT_TRUE(takeBroadcast(device, tool, datagram).replies.empty());
    }

    device.state = DeviceState::up;
    EXPECT_FALSE(takeUnicast(device, tool, writeOf(2, 0x77)).restart);
}

TEST(DeviceBroadcast, OnlyDiscoveryAndAssignmentAreTaken) {
    SimulatedDevice device = deviceWith({});
    EXPECT_EQ(broadcastWhat(discoveryQuery), "discovery");
    EXPECT_EQ(takeBroadcast(device, tool, discoveryQuery).replies.size(), 1U);
    EXPECT_EQ(broadcastWhat(assignmentFor(1, 2, Ipv4{})), "assignment");

    const ConfigurationBlocks before = device.blocks;
    for (const Bytes& datagram : {readRequests[2], writeOf(0, 0x11)}) {
        EXPECT_EQ(broadcastWhat(datagram), "ignored: not a broadcast request");
        const Response response = takeBroadcast(device, tool, datagram);
        EXPECT_TRUE(response.replies.empty());
        EXPECT_FALSE(response.blocksChanged);
    }
    EXPECT_EQ(device.blocks, before);
}

TEST(SplitPayload, SizesCutInOrderAndTheRestFollows) {
    const Bytes payload(124, 0xAB);
    auto sizesOf = [](const std::vector<Bytes>& parts) {
        std::vector<std::size_t> sizes;
        for (const Bytes& part : parts) sizes.push_back(part.size());
        return sizes;
    };
    EXPECT_EQ(sizesOf(splitPayload(payload, {})), (std::vector<std::size_t>{124}));
    EXPECT_EQ(sizesOf(splitPayload(payload, {100})), (std::vector<std::size_t>{100, 24}));
    EXPECT_EQ(sizesOf(splitPayload(payload, {100, 100, 100})), (std::vector<std::size_t>{100, 24}));
    EXPECT_EQ(sizesOf(splitPayload(payload, {0, 124})), (std::vector<std::size_t>{0, 124}));
    EXPECT_EQ(sizesOf(splitPayload(payload, {124, 0})), (std::vector<std::size_t>{124, 0}));
    EXPECT_EQ(sizesOf(splitPayload(Bytes{}, {})), (std::vector<std::size_t>{0}));
}

}  // namespace
}  // namespace tamro::devsim
