#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"

namespace tamro::testing {
namespace {

using Texts = std::vector<std::string>;

constexpr Ipv4 deviceA = Ipv4::fromOctets(10, 77, 0, 20);
constexpr Ipv4 deviceB = Ipv4::fromOctets(10, 77, 0, 21);
constexpr Ipv4 farDevice = Ipv4::fromOctets(172, 16, 5, 9);

std::string text(std::string_view view) { return std::string(view); }

class WriteTest : public DialogTest {
protected:
    // Models loaded, the free model chosen, device A of two read devices shown.
    void startOnDevice() {
        ASSERT_TRUE(startWithModels());
        search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
        selectDevice(0);
        workersAtStart = frontEnd->workersStarted;
    }
    // The search's worker; a write that is refused or cancelled adds none.
    int workersAtStart = 0;
    void type(ControlId id, std::string_view digits) {
        ASSERT_NE(form().userReplaceText(id, digits), UserInput::ignored) << controlName(id);
    }
    // What one press of the write button shows, with the confirmation (if
    // it comes) cancelled.
    Texts pressWriteAndCancel() {
        frontEnd->messages.clear();
        frontEnd->queueAnswer(MessageAnswer::cancel);
        EXPECT_EQ(form().userClick(ControlId::writeButton), UserInput::accepted);
        frontEnd->clearAnswers();  // a refused write never asks
        EXPECT_TRUE(services.writes.empty());
        EXPECT_EQ(frontEnd->workersStarted, workersAtStart);
        return frontEnd->texts();
    }
};

const Texts confirmFree = {text(modelWriteConfirmationMessage("Free"))};

TEST_F(WriteTest, TheLocalPortMustLieBetween1024And65535) {
    startOnDevice();
    const struct {
        std::string port;
        bool accepted;
    } cases[] = {{"1023", false},  {"1024", true},   {"65535", true},
                 {"65536", false}, {"99999", false}, {"", false}};
    for (const auto& c : cases) {
        type(ControlId::portEdit, c.port);
        EXPECT_EQ(pressWriteAndCancel(), c.accepted ? confirmFree : Texts{text(portErrorMessage)})
            << "port '" << c.port << "'";
    }
}

TEST_F(WriteTest, TheDestinationIsCheckedUnlessTcpNeverConnects) {
    startOnDevice();
    // TCP, no connection: an empty destination passes.
    EXPECT_EQ(pressWriteAndCancel(), confirmFree);

    ASSERT_EQ(form().userSelect(ControlId::protocolCombo, 1), UserInput::accepted);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remoteIpErrorMessage)});

    ASSERT_EQ(form().userSelect(ControlId::protocolCombo, 0), UserInput::accepted);
    ASSERT_EQ(form().userSelect(ControlId::connectCombo, 1), UserInput::accepted);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remoteIpErrorMessage)});

    ASSERT_EQ(form().userSetAddress(ControlId::remoteIpCtrl, AddressFields::of(deviceB)),
              UserInput::accepted);
    type(ControlId::remotePortEdit, "80");
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remotePortErrorMessage)});
    type(ControlId::remotePortEdit, "1024");
    EXPECT_EQ(pressWriteAndCancel(), confirmFree);

    // A connect list without a selection is not "no connection".
    form().setSelection(ControlId::connectCombo, -1);
    form().clearAddress(ControlId::remoteIpCtrl);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remoteIpErrorMessage)});
}

TEST_F(WriteTest, ChecksRunInOrderAndStopAtTheFirstFailure) {
    startOnDevice();
    chooseModel(limitedModel);
    type(ControlId::portEdit, "80");
    ASSERT_EQ(form().userSelect(ControlId::connectCombo, 2), UserInput::accepted);
    ASSERT_EQ(form().userSelect(ControlId::baudCombo, 12), UserInput::accepted);
    type(ControlId::keepAliveEdit, "66");

    EXPECT_EQ(pressWriteAndCancel(), Texts{text(portErrorMessage)});
    type(ControlId::portEdit, "10001");
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remoteIpErrorMessage)});
    ASSERT_EQ(form().userSetAddress(ControlId::remoteIpCtrl, AddressFields::of(deviceB)),
              UserInput::accepted);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remotePortErrorMessage)});
    type(ControlId::remotePortEdit, "502");
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(remotePortErrorMessage)});
    type(ControlId::remotePortEdit, "5020");
    EXPECT_EQ(pressWriteAndCancel(), Texts{"このモデルの場合、ボーレート値は最大115200です。"});
    ASSERT_EQ(form().userSelect(ControlId::baudCombo, 9), UserInput::accepted);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(keepAliveRangeMessage)});
    // Stored before its range test, refused or not.
    EXPECT_EQ(dialog->pendingKeepAlive(), 66);
    type(ControlId::keepAliveEdit, "65");
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(modelWriteConfirmationMessage("Limited"))});
    EXPECT_EQ(dialog->pendingKeepAlive(), 65);
    // Nothing was switched off by any of it.
    EXPECT_TRUE(form().enabled(ControlId::writeButton));
    EXPECT_EQ(frontEnd->workersStarted, workersAtStart);
}

TEST_F(WriteTest, AnEmptyKeepAlivePassesAsZeroAndABaudListWithoutSelectionPasses) {
    startOnDevice();
    chooseModel(limitedModel);
    type(ControlId::keepAliveEdit, "");
    form().setSelection(ControlId::baudCombo, -1);
    EXPECT_EQ(pressWriteAndCancel(), Texts{text(modelWriteConfirmationMessage("Limited"))});
    EXPECT_EQ(dialog->pendingKeepAlive(), 0);
}

TEST_F(WriteTest, CancelWritesNothingAndChangesNothing) {
    startOnDevice();
    const FormState before = captureForm(form());
    clickWrite(MessageAnswer::cancel);
    ASSERT_EQ(frontEnd->messages.size(), 1u);
    EXPECT_EQ(frontEnd->messages[0].buttons, MessageButtons::okCancel);
    EXPECT_EQ(captureForm(form()), before);
    EXPECT_EQ(frontEnd->workersStarted, workersAtStart);
    EXPECT_TRUE(services.writes.empty());
}

TEST_F(WriteTest, ASuccessfulWriteSendsTheFormAndRemovesTheDevice) {
    startOnDevice();
    chooseModel(fixedModel);
    type(ControlId::keepAliveEdit, "12");
    const WriteControlValues shown = readWriteControls(form());
    const DeviceRecord second = table->devices[1];

    clickWrite();
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(modelWriteConfirmationMessage("Fixed")), text(writeCompleteMessage)}));
    ASSERT_EQ(services.writes.size(), 1u);
    EXPECT_EQ(services.writes[0].device, deviceA);
    EXPECT_EQ(services.writes[0].controls.portText, "10000");
    EXPECT_EQ(services.writes[0].controls.baudPosition, shown.baudPosition);
    EXPECT_EQ(services.writes[0].controls.remoteIp, shown.remoteIp);
    EXPECT_EQ(services.writes[0].controls.cp2Position, 4);
    EXPECT_EQ(services.writes[0].pendingKeepAlive, 12);
    EXPECT_EQ(services.writes[0].modelVariant, 2);
    EXPECT_TRUE(services.assigns.empty());

    EXPECT_EQ(table->deviceCount, 2);
    EXPECT_EQ(table->devices[0], second);
    EXPECT_EQ(form().items(ControlId::deviceList), Texts{"02-00-00-01-02-0B / 10.77.0.21"});
    EXPECT_EQ(form().selection(ControlId::deviceList), -1);
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(enabledSettings(form()).empty());
    EXPECT_EQ(form().text(ControlId::portEdit), "10000");  // still what was written
    EXPECT_EQ(form().text(ControlId::keepAliveEdit), "12");
    for (const ControlId id :
         {ControlId::searchButton, ControlId::adapterCombo, ControlId::modelCombo}) {
        EXPECT_TRUE(form().enabled(id)) << controlName(id);
    }
    EXPECT_FALSE(dialog->writeRunning());

    // Selecting the remaining device shows it afresh.
    selectDevice(0);
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "10.77.0.21");
    EXPECT_TRUE(form().enabled(ControlId::writeButton));
}

TEST_F(WriteTest, WithoutModelsTheConfirmationNamesNoModelAndTheModelListStaysOff) {
    ASSERT_TRUE(startWithoutModels());
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    clickWrite();
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(writeConfirmationMessage), text(writeCompleteMessage)}));
    ASSERT_EQ(services.writes.size(), 1u);
    EXPECT_EQ(services.writes[0].modelVariant, std::nullopt);
    EXPECT_FALSE(form().enabled(ControlId::modelCombo));
    EXPECT_TRUE(form().enabled(ControlId::searchButton));
}

TEST_F(WriteTest, TheConfirmationShowsACodePage932ModelNameReadably) {
    // "組込み QZ-310" as the model file holds it, in code page 932.
    const std::string name = "\x91\x67\x8D\x9E\x82\xDD QZ-310";
    const auto path = writeModelFile("sjis.dat", "Tamro,100\n" + name + ",-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n");
    ASSERT_TRUE(start(path.string()));
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    clickWrite();
    ASSERT_FALSE(frontEnd->texts().empty());
    EXPECT_EQ(frontEnd->texts().front(), "組込み QZ-310に設定を書き込みます。");
}

TEST_F(WriteTest, ANameThatAlsoReadsAsUtf8IsStillReadAsCodePage932) {
    // "ﾃｱ QZ" in code page 932 is also "ñ QZ" in UTF-8; the file means the first.
    const auto path = writeModelFile("kana.dat", "Tamro,100\n\xC3\xB1 QZ,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n");
    ASSERT_TRUE(start(path.string()));
    EXPECT_EQ(form().items(ControlId::modelCombo), Texts{"ﾃｱ QZ"});
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    clickWrite();
    ASSERT_FALSE(frontEnd->texts().empty());
    EXPECT_EQ(frontEnd->texts().front(), "ﾃｱ QZに設定を書き込みます。");
}

TEST_F(WriteTest, AFailedWriteShowsItsOwnMessageAndLeavesTheFormOff) {
    startOnDevice();
    services.writeOutcome = {0, settingErrorMessage};
    clickWrite();
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(modelWriteConfirmationMessage("Free")), text(settingErrorMessage)}));
    EXPECT_FALSE(form().enabled(ControlId::deviceList));
    EXPECT_EQ(form().selection(ControlId::deviceList), 0);
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 2);
    EXPECT_TRUE(enabledSettings(form()).empty());
    EXPECT_EQ(form().text(ControlId::portEdit), "10001");
    EXPECT_EQ(table->devices[0].peer.address, deviceA);

    // A model choice reopens what the model governs, but not the write.
    chooseModel(freeModel);
    EXPECT_TRUE(form().enabled(ControlId::portEdit));
    EXPECT_FALSE(form().enabled(ControlId::writeButton));
    EXPECT_FALSE(form().enabled(ControlId::deviceList));

    // A search opens the list again.
    search({readDevice(0x0A, deviceA)});
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
}

TEST_F(WriteTest, AWriteThatFailsWithoutAMessageShowsNone) {
    startOnDevice();
    services.writeOutcome = {0, {}};
    clickWrite();
    EXPECT_EQ(frontEnd->texts(), confirmFree);
    EXPECT_FALSE(form().enabled(ControlId::deviceList));
}

TEST_F(WriteTest, ADeviceOffTheSubnetGetsOnlyTheAddressAfterOnePlainConfirmation) {
    ASSERT_TRUE(startWithModels());
    ASSERT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::accepted);
    search({readDevice(0x0A, deviceA), offSubnetDevice(0xFF, farDevice)});
    selectDevice(1);
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl,
                                    AddressFields::of(Ipv4::fromOctets(192, 168, 0, 77))),
              UserInput::accepted);
    clickWrite();
    // No port, destination or keep-alive check, and no model name.
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(writeConfirmationMessage), text(writeCompleteMessage)}));
    ASSERT_EQ(services.assigns.size(), 1u);
    EXPECT_EQ(services.assigns[0].mac, (std::array<std::uint8_t, 6>{2, 0, 0, 1, 2, 0xFF}));
    EXPECT_EQ(services.assigns[0].newAddress, Ipv4::fromOctets(192, 168, 0, 77));
    EXPECT_EQ(services.assigns[0].adapterAddress, secondAdapterAddress);
    EXPECT_TRUE(services.writes.empty());
    EXPECT_EQ(form().items(ControlId::deviceList), Texts{"02-00-00-01-02-0A / 10.77.0.20"});
}

TEST_F(WriteTest, AFailedAssignmentIsACommunicationError) {
    ASSERT_TRUE(startWithModels());
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    services.assignResult = 0;
    clickWrite();
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(writeConfirmationMessage), text(communicationErrorMessage)}));
    EXPECT_FALSE(form().enabled(ControlId::deviceList));
    EXPECT_EQ(form().selection(ControlId::deviceList), 0);
    EXPECT_TRUE(enabledSettings(form()).empty());
}

TEST_F(WriteTest, TheWriteHoldsTheAdaptersWriterLockWhileItSends) {
    startOnDevice();
    clickWrite();
    ASSERT_EQ(services.writes.size(), 1u);
    EXPECT_EQ(services.writerClaims, std::vector<Ipv4>{adapterAddress});
    EXPECT_EQ(services.writersHeld, 0);  // released once the blocks are sent
}

TEST_F(WriteTest, AnotherWriterOnTheAdapterFailsTheWriteBeforeAnythingIsSent) {
    startOnDevice();
    services.writerRefusal = "another writer is writing through adapter 10.77.0.1";
    clickWrite();
    EXPECT_TRUE(services.writes.empty());
    EXPECT_EQ(frontEnd->texts(),
              (Texts{text(modelWriteConfirmationMessage("Free")), *services.writerRefusal}));
    EXPECT_EQ(dialog->lastWrite().result, WriteResult::failed);
    EXPECT_EQ(dialog->lastWrite().message, *services.writerRefusal);
    EXPECT_EQ(dialog->lastWrite().blocksAccepted, 0);
    EXPECT_EQ(services.writersHeld, 0);
}

// --- the worker on its own thread --------------------------------------------------------

class WorkerThreadTest : public WriteTest {
protected:
    WorkerThreadTest() {
        frontEnd = std::make_unique<ScriptedFrontEnd>(ScriptedFrontEnd::Workers::onThread);
    }
};

TEST_F(WorkerThreadTest, WhileTheWriteRunsNothingCanReachTheTableOrTheForm) {
    startOnDevice();
    services.holdWorker();
    clickWrite();
    services.waitForHeldWorker();

    EXPECT_TRUE(dialog->writeRunning());
    for (const ControlId id : formControls) EXPECT_FALSE(form().enabled(id)) << controlName(id);
    for (const ControlId id :
         {ControlId::searchButton, ControlId::adapterCombo, ControlId::modelCombo}) {
        EXPECT_FALSE(form().enabled(id)) << controlName(id);
        EXPECT_EQ(form().userClick(id), UserInput::ignored);
        EXPECT_EQ(form().userSelect(id, 1), UserInput::ignored);
    }
    // Even a handler dispatched past the disabled controls is refused.
    dialog->handle(Handler::onSearch, ControlId::searchButton);
    EXPECT_EQ(services.searches.size(), 1u);

    services.releaseWorker();
    frontEnd->finishWorker();
    EXPECT_FALSE(dialog->writeRunning());
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 1);
    for (const ControlId id : {ControlId::searchButton, ControlId::adapterCombo,
                               ControlId::modelCombo, ControlId::deviceList}) {
        EXPECT_TRUE(form().enabled(id)) << controlName(id);
    }
    ASSERT_EQ(frontEnd->messages.size(), 2u);
    EXPECT_EQ(frontEnd->messages[1].text, text(writeCompleteMessage));
    // The worker's outcome was shown by the dialog's thread.
    EXPECT_TRUE(frontEnd->messages[1].onDialogThread);
}

TEST_F(WorkerThreadTest, AFailureOnTheWorkerIsShownOnTheDialogsThread) {
    startOnDevice();
    services.writeOutcome = {0, communicationErrorMessage};
    clickWrite();
    frontEnd->finishWorker();
    ASSERT_EQ(frontEnd->messages.size(), 2u);
    EXPECT_EQ(frontEnd->messages[1],
              (ShownMessage{text(communicationErrorMessage), MessageButtons::ok, true}));
    EXPECT_FALSE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(form().enabled(ControlId::searchButton));
}

// The echo waits up to a second on the worker; the form is off meanwhile
// and afterwards exactly as before, with the answer shown by the dialog.
TEST_F(WorkerThreadTest, APingRunsOnTheWorkerWithTheFormOff) {
    startOnDevice();
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(deviceB)),
              UserInput::accepted);
    const FormState before = captureForm(form());
    services.echoAnswer = 1;
    services.holdWorker();
    frontEnd->busyChanges.clear();
    ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
    services.waitForHeldWorker();

    EXPECT_TRUE(dialog->probeRunning());
    EXPECT_EQ(frontEnd->busyChanges, std::vector<bool>{true});
    for (const ControlId id : formControls) EXPECT_FALSE(form().enabled(id)) << controlName(id);
    for (const ControlId id :
         {ControlId::searchButton, ControlId::adapterCombo, ControlId::modelCombo}) {
        EXPECT_FALSE(form().enabled(id)) << controlName(id);
    }
    dialog->handle(Handler::onPing, ControlId::pingButton);
    dialog->handle(Handler::onWrite, ControlId::writeButton);
    EXPECT_TRUE(frontEnd->messages.empty());

    services.releaseWorker();
    frontEnd->finishWorker();
    EXPECT_FALSE(dialog->probeRunning());
    EXPECT_EQ(changedControls(before, captureForm(form())), std::vector<std::string>{});
    EXPECT_EQ(frontEnd->messages,
              (std::vector<ShownMessage>{{text(pingConflictMessage), MessageButtons::ok, true}}));
    EXPECT_EQ(services.echoTargets, std::vector<Ipv4>{deviceB});
    EXPECT_EQ(frontEnd->busyChanges, (std::vector<bool>{true, false}));
}

// --- PING ---------------------------------------------------------------------------

TEST_F(WriteTest, PingTellsAFreeAddressTheDeviceItselfAndAConflict) {
    startOnDevice();
    const struct {
        Ipv4 address;
        std::int32_t echo;
        std::int32_t probe;
        std::string_view message;
    } cases[] = {
        {Ipv4::fromOctets(10, 77, 0, 50), 0, 0, pingNoAnswerMessage},
        {deviceA, 1, 1, pingAnsweredMessage},
        {deviceB, 1, 2, pingConflictMessage},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(c.address)),
                  UserInput::accepted);
        services.echoAnswer = c.echo;
        EXPECT_EQ(dialog->probeAddress(), c.probe);
        frontEnd->messages.clear();
        ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
        EXPECT_EQ(frontEnd->texts(), Texts{text(c.message)});
        EXPECT_EQ(services.echoTargets.back(), c.address);
    }
}

TEST_F(WriteTest, PingComparesWithTheAddressTheDeviceAnsweredFrom) {
    // Off the subnet the field starts at the address the device answered
    // from; a blank field probes as 0.
    ASSERT_TRUE(startWithoutModels());
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    services.echoAnswer = 1;
    EXPECT_EQ(dialog->probeAddress(), 1);
    form().setAddress(ControlId::ipAddressCtrl, AddressFields{{172, 16, 5, -1}});
    EXPECT_EQ(dialog->probeAddress(), 2);
    EXPECT_EQ(services.echoTargets.back(), Ipv4::fromOctets(172, 16, 5, 0));
}

}  // namespace
}  // namespace tamro::testing
