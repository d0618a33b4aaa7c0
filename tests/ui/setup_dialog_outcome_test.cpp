#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "dialog_test_support.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"

// What the command line reads instead of the message texts: the outcome of
// each action and the reason a control is off must agree with what the
// dialog showed and did.
namespace tamro::testing {
namespace {

constexpr Ipv4 deviceA = Ipv4::fromOctets(10, 77, 0, 20);
constexpr Ipv4 deviceB = Ipv4::fromOctets(10, 77, 0, 21);
constexpr Ipv4 farDevice = Ipv4::fromOctets(172, 16, 5, 9);
constexpr std::array<std::uint8_t, 6> macA = {2, 0, 0, 1, 2, 0x0A};

class OutcomeTest : public DialogTest {
protected:
    void startOnDevice() {
        ASSERT_TRUE(startWithModels());
        search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
        selectDevice(0);
    }
    void type(ControlId id, std::string_view digits) {
        ASSERT_NE(form().userReplaceText(id, digits), UserInput::ignored) << controlName(id);
    }
    void select(ControlId id, std::int32_t position) {
        ASSERT_EQ(form().userSelect(id, position), UserInput::accepted) << controlName(id);
    }
    const WriteAttempt& pressWrite(MessageAnswer confirmation) {
        frontEnd->messages.clear();
        clickWrite(confirmation);
        frontEnd->clearAnswers();  // a refused write asks nothing
        return dialog->lastWrite();
    }
};

TEST_F(OutcomeTest, EachRefusedWriteNamesItsCheckAndTheMessageItShowed) {
    startOnDevice();
    EXPECT_EQ(dialog->lastWrite().result, WriteResult::none);
    chooseModel(limitedModel);
    type(ControlId::portEdit, "80");
    select(ControlId::connectCombo, 2);
    select(ControlId::baudCombo, 12);
    type(ControlId::keepAliveEdit, "66");

    const struct {
        std::function<void()> mend;  // puts right what the previous check refused
        WriteCheck check;
    } steps[] = {
        {[] {}, WriteCheck::port},
        {[&] { type(ControlId::portEdit, "10001"); }, WriteCheck::remoteAddress},
        {[&] {
             ASSERT_EQ(form().userSetAddress(ControlId::remoteIpCtrl, AddressFields::of(deviceB)),
                       UserInput::accepted);
         },
         WriteCheck::remotePort},
        {[&] { type(ControlId::remotePortEdit, "5020"); }, WriteCheck::baudLimit},
        {[&] { select(ControlId::baudCombo, 9); }, WriteCheck::keepAlive},
    };
    for (const auto& step : steps) {
        step.mend();
        const WriteAttempt& attempt = pressWrite(MessageAnswer::cancel);
        EXPECT_EQ(attempt.result, WriteResult::refused);
        EXPECT_EQ(attempt.failedCheck, step.check);
        ASSERT_EQ(frontEnd->texts().size(), 1u);
        EXPECT_EQ(attempt.message, frontEnd->texts().front());
        EXPECT_EQ(attempt.mac, macA);
    }
    type(ControlId::keepAliveEdit, "65");
    const WriteAttempt& cancelled = pressWrite(MessageAnswer::cancel);
    EXPECT_EQ(cancelled.result, WriteResult::cancelled);
    EXPECT_EQ(cancelled.failedCheck, WriteCheck::none);
    EXPECT_TRUE(cancelled.message.empty());
    EXPECT_TRUE(services.writes.empty());
}

TEST_F(OutcomeTest, AWriteTellsWhichDeviceItWasAndHowManyBlocksWereAccepted) {
    startOnDevice();
    services.writeOutcome = {1, {}, 3};
    const WriteAttempt& written = pressWrite(MessageAnswer::ok);
    EXPECT_EQ(written.result, WriteResult::written);
    EXPECT_FALSE(written.assignment);
    EXPECT_EQ(written.blocksAccepted, 3);
    EXPECT_EQ(written.mac, macA);
    EXPECT_EQ(written.deviceAddress, deviceA);

    // Block 0 went in, block 3 did not: the device holds part of the write.
    selectDevice(0);
    services.writeOutcome = {0, communicationErrorMessage, 1};
    const WriteAttempt& failed = pressWrite(MessageAnswer::ok);
    EXPECT_EQ(failed.result, WriteResult::failed);
    EXPECT_EQ(failed.blocksAccepted, 1);
    EXPECT_EQ(failed.message, communicationErrorMessage);
    EXPECT_EQ(failed.deviceAddress, deviceB);
}

TEST_F(OutcomeTest, APressThatNeverReachesTheWriteLeavesTheLastOutcomeNumbered) {
    startOnDevice();
    const WriteAttempt& first = pressWrite(MessageAnswer::ok);
    EXPECT_EQ(first.result, WriteResult::written);
    const std::uint32_t number = first.number;
    EXPECT_GT(number, 0u);
    // The form is off after the write: the press is ignored, and the outcome
    // still is the earlier one, which a caller tells by its unchanged number.
    EXPECT_EQ(form().userClick(ControlId::writeButton), UserInput::ignored);
    EXPECT_EQ(dialog->lastWrite().number, number);
    selectDevice(0);
    EXPECT_EQ(pressWrite(MessageAnswer::cancel).number, number + 1);
}

TEST_F(OutcomeTest, AnAssignmentIsRecordedAsOne) {
    ASSERT_TRUE(startWithModels());
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    services.assignResult = 0;
    const WriteAttempt& failed = pressWrite(MessageAnswer::ok);
    EXPECT_TRUE(failed.assignment);
    EXPECT_EQ(failed.result, WriteResult::failed);
    EXPECT_EQ(failed.message, communicationErrorMessage);
    EXPECT_EQ(failed.blocksAccepted, 0);

    // A failed write leaves the list off until the next search.
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    services.assignResult = 1;
    EXPECT_EQ(pressWrite(MessageAnswer::ok).result, WriteResult::written);
}

TEST_F(OutcomeTest, TheSearchTellsWhatItListedOrThatItFailed) {
    ASSERT_TRUE(startWithModels());
    EXPECT_EQ(dialog->lastSearch().result, SearchResult::none);
    search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
    EXPECT_EQ(dialog->lastSearch().result, SearchResult::listed);
    EXPECT_EQ(dialog->lastSearch().listed, 2);

    search({});
    EXPECT_EQ(dialog->lastSearch().result, SearchResult::listed);
    EXPECT_EQ(dialog->lastSearch().listed, 0);

    services.search = [](DeviceTable&) { return -1; };
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    EXPECT_EQ(dialog->lastSearch().result, SearchResult::failed);
    EXPECT_EQ(frontEnd->texts().back(), communicationErrorMessage);
}

TEST_F(OutcomeTest, PingTellsFreeTheDeviceItselfOrAnotherHost) {
    startOnDevice();
    const struct {
        Ipv4 address;
        std::int32_t echo;
        PingResult result;
    } cases[] = {
        {Ipv4::fromOctets(10, 77, 0, 50), 0, PingResult::noAnswer},
        {deviceA, 1, PingResult::deviceItself},
        {deviceB, 1, PingResult::otherHost},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(c.address)),
                  UserInput::accepted);
        services.echoAnswer = c.echo;
        ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
        EXPECT_EQ(dialog->lastPing().result, c.result);
        EXPECT_EQ(dialog->lastPing().target, c.address);
    }
}

TEST_F(OutcomeTest, TheRulesRecordWhyTheySwitchedAControlOff) {
    ASSERT_TRUE(startWithModels());
    EXPECT_EQ(dialog->offReason(ControlId::writeButton), OffReason::noDeviceRead);
    search({readDevice(0x0A, deviceA), offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    EXPECT_EQ(dialog->offReason(ControlId::writeButton), OffReason::none);

    chooseModel(fixedModel);
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::modelFixedPort);
    EXPECT_EQ(dialog->offReason(ControlId::baudCombo), OffReason::modelFixedSerial);
    EXPECT_EQ(dialog->offReason(ControlId::cp1Combo), OffReason::modelFixedPins);
    EXPECT_EQ(dialog->offReason(ControlId::protocolCombo), OffReason::modelNoClientMode);
    EXPECT_EQ(dialog->offReason(ControlId::remoteIpCtrl), OffReason::modelNoClientMode);

    chooseModel(serialModel);
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::none);

    chooseModel(freeModel);
    select(ControlId::protocolCombo, 1);  // UDP
    EXPECT_EQ(dialog->offReason(ControlId::connectCombo), OffReason::udpProtocol);
    EXPECT_EQ(dialog->offReason(ControlId::remoteIpCtrl), OffReason::none);
    select(ControlId::protocolCombo, 0);  // TCP, connect condition "none"
    select(ControlId::connectCombo, 0);
    EXPECT_EQ(dialog->offReason(ControlId::remoteIpCtrl), OffReason::noConnectCondition);

    ASSERT_EQ(form().userClick(ControlId::dhcpCheck), UserInput::accepted);
    ASSERT_TRUE(form().checked(ControlId::dhcpCheck));
    EXPECT_EQ(dialog->offReason(ControlId::ipAddressCtrl), OffReason::automaticAddress);
    EXPECT_EQ(dialog->offReason(ControlId::pingButton), OffReason::automaticAddress);

    selectDevice(1);
    EXPECT_EQ(dialog->offReason(ControlId::baudCombo), OffReason::offSubnet);
    EXPECT_EQ(dialog->offReason(ControlId::ipAddressCtrl), OffReason::none);

    selectDevice(0);
    clickWrite();
    EXPECT_EQ(dialog->offReason(ControlId::writeButton), OffReason::afterWrite);
}

TEST_F(OutcomeTest, WithoutModelsTheModelListIsOffForThatReason) {
    ASSERT_TRUE(startWithoutModels());
    EXPECT_EQ(dialog->offReason(ControlId::modelCombo), OffReason::noModels);
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    clickWrite();
    EXPECT_EQ(dialog->offReason(ControlId::modelCombo), OffReason::noModels);
}

class BusyOutcomeTest : public OutcomeTest {
protected:
    BusyOutcomeTest() {
        frontEnd = std::make_unique<ScriptedFrontEnd>(ScriptedFrontEnd::Workers::onThread);
    }
};

TEST_F(BusyOutcomeTest, WhileAWorkerRunsEveryOffControlIsBusyAndAfterwardsAsBefore) {
    startOnDevice();
    chooseModel(fixedModel);
    services.holdWorker();
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    services.waitForHeldWorker();
    EXPECT_EQ(dialog->offReason(ControlId::searchButton), OffReason::busy);
    EXPECT_EQ(dialog->offReason(ControlId::deviceList), OffReason::busy);
    services.releaseWorker();
    frontEnd->finishWorker();
    EXPECT_EQ(dialog->offReason(ControlId::searchButton), OffReason::none);
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::noDeviceRead);
}

}  // namespace
}  // namespace tamro::testing
