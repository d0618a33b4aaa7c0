#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "models/model_file.h"
#include "ui/dialog_messages.h"
#include "ui/file_version.h"

namespace tamro::testing {
namespace {

using Texts = std::vector<std::string>;

TEST(VersionText, ShowsTheFirstThreePartsWithNoSeparatorBeforeTheThird) {
    EXPECT_EQ(formatVersionText(FileVersion{{0, 0, 0, 0}}), "Version 0.00");
    EXPECT_EQ(formatVersionText(FileVersion{{1, 0, 0, 9}}), "Version 1.00");
    EXPECT_EQ(formatVersionText(FileVersion{{1, 2, 3, 4}}), "Version 1.23");
    EXPECT_EQ(formatVersionText(FileVersion{{2, 1, 10, 0}}), "Version 2.110");
    EXPECT_EQ(formatVersionText(FileVersion{{65535, 65535, 65535, 65535}}),
              "Version 65535.6553565535");
}

TEST(VersionText, TheBuildCarriesTheProjectVersion) {
    EXPECT_EQ(buildFileVersion(), (FileVersion{{1, 0, 0, 0}}));
}

TEST_F(DialogTest, StartLeavesTheDialogReadyForASearch) {
    ASSERT_TRUE(startWithModels());
    EXPECT_TRUE(frontEnd->messages.empty());
    EXPECT_TRUE(frontEnd->endResults.empty());
    EXPECT_EQ(services.enumerations, 1);

    EXPECT_EQ(form().items(ControlId::modelCombo),
              (Texts{"Free", "Fixed", "Serial", "Odd", "Limited"}));
    EXPECT_EQ(form().selection(ControlId::modelCombo), 0);
    EXPECT_TRUE(form().enabled(ControlId::modelCombo));
    EXPECT_EQ(form().items(ControlId::adapterCombo),
              (Texts{"10.77.0.1 (Lab adapter)", "192.168.0.10 (LAN adapter)"}));
    EXPECT_EQ(form().selection(ControlId::adapterCombo), 0);

    for (const ControlId id : controlPinGroup) EXPECT_FALSE(form().visible(id)) << controlName(id);
    EXPECT_TRUE(enabledSettings(form()).empty());
    for (const ControlId id : settingsControls) {
        EXPECT_EQ(form().selection(id), -1) << controlName(id);
        if (controlKind(id) == ControlKind::address) {
            EXPECT_EQ(form().address(id).filledCount(), 0) << controlName(id);
        }
    }
    for (const ControlId id : currentSettingTexts)
        EXPECT_EQ(form().text(id), "") << controlName(id);
    EXPECT_FALSE(form().checked(ControlId::dhcpCheck));
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(form().enabled(ControlId::searchButton));
    EXPECT_TRUE(form().enabled(ControlId::adapterCombo));

    // The fixed lists are there and the edits take no more than their digits.
    EXPECT_EQ(form().itemCount(ControlId::baudCombo), 13);
    EXPECT_EQ(form().itemCount(ControlId::cp3Combo), 7);
    EXPECT_EQ(form().textLimit(ControlId::portEdit), 5);
    EXPECT_EQ(form().textLimit(ControlId::remotePortEdit), 5);
    EXPECT_EQ(form().textLimit(ControlId::keepAliveEdit), 2);
    EXPECT_EQ(form().text(ControlId::versionText), "Version 1.00");
}

TEST_F(DialogTest, ProgramSelectionsAtStartRunNoHandlerButTheUsersDo) {
    dialog = std::make_unique<SetupDialog>(*frontEnd, services, *table);
    DispatchRecorder recorder(*dialog);
    form().setEvents(&recorder);
    dialog->setCommandLine(writeModelFile("models.dat",
                                          "Tamro,100\nA,-1,1,-1,-1,-1,-1,-1,-1,1,"
                                          "-1,-1,-1,1,-1\nB,-1,1,-1,-1,-1,-1,-1,"
                                          "-1,1,-1,-1,-1,1,-1\n")
                               .string());
    ASSERT_TRUE(dialog->initDialog());
    EXPECT_EQ(form().selection(ControlId::modelCombo), 0);
    EXPECT_EQ(form().selection(ControlId::adapterCombo), 0);
    EXPECT_TRUE(recorder.handlers.empty());

    ASSERT_EQ(form().userSelect(ControlId::modelCombo, 1), UserInput::accepted);
    ASSERT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::accepted);
    EXPECT_EQ(recorder.handlers,
              (std::vector<Handler>{Handler::applyModelConstraints, Handler::onAdapterChanged}));
}

TEST_F(DialogTest, AModelFileNamedOnTheCommandLineThatCannotBeOpenedEndsTheDialogSilently) {
    EXPECT_FALSE(start((directory / "missing.dat").string()));
    EXPECT_EQ(frontEnd->endResults, std::vector<int>{-1});
    EXPECT_TRUE(frontEnd->messages.empty());
    EXPECT_EQ(services.enumerations, 0);
}

TEST_F(DialogTest, AWrongModelFileOnTheCommandLineShowsOnlyTheLoadersMessage) {
    const auto path =
        writeModelFile("wrong.dat", "Other,100\nA,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n");
    EXPECT_FALSE(start(path.string()));
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(modelFileWrongMessage)});
    EXPECT_EQ(frontEnd->messages[0].buttons, MessageButtons::ok);
    EXPECT_EQ(frontEnd->endResults, std::vector<int>{-1});
    EXPECT_EQ(services.enumerations, 0);
}

TEST_F(DialogTest, NoUsableAdapterEndsTheDialogWithAMessage) {
    services.adapterRecords.clear();
    EXPECT_FALSE(startWithModels());
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(noAdapterMessage)});
    EXPECT_EQ(frontEnd->endResults, std::vector<int>{-1});
    EXPECT_EQ(form().itemCount(ControlId::adapterCombo), 0);
}

TEST_F(DialogTest, MissingDefaultModelFileAndNoAdapterShowBothMessagesInOrder) {
    services.programPath = (directory / "tamro").string();
    services.adapterRecords.clear();
    EXPECT_FALSE(start(""));
    EXPECT_EQ(frontEnd->texts(),
              (Texts{std::string(modelFileNotFoundMessage), std::string(noAdapterMessage)}));
    EXPECT_EQ(frontEnd->endResults, std::vector<int>{-1});
}

TEST_F(DialogTest, WithoutAModelFileTheModelListIsEmptyAndOff) {
    services.programPath = (directory / "tamro").string();
    ASSERT_TRUE(start(""));
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(modelFileNotFoundMessage)});
    EXPECT_EQ(form().itemCount(ControlId::modelCombo), 0);
    EXPECT_EQ(form().selection(ControlId::modelCombo), -1);
    EXPECT_FALSE(form().enabled(ControlId::modelCombo));
    EXPECT_TRUE(frontEnd->endResults.empty());
}

TEST_F(DialogTest, TheDefaultModelFileBesideTheProgramIsLoaded) {
    writeModelFile("tamro.dat", "Tamro,100\nBeside,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n");
    services.programPath = (directory / "tamro").string();
    ASSERT_TRUE(start(""));
    EXPECT_EQ(form().items(ControlId::modelCombo), Texts{"Beside"});
    EXPECT_TRUE(form().enabled(ControlId::modelCombo));
}

TEST_F(DialogTest, AProgramWithoutVersionInformationShowsVersionZero) {
    dialog = std::make_unique<SetupDialog>(*frontEnd, services, *table, FileVersion{});
    ASSERT_TRUE(dialog->initDialog());
    EXPECT_EQ(form().text(ControlId::versionText), "Version 0.00");
}

TEST_F(DialogTest, RunApplicationRunsTheDialogOnlyWhenItsStartSucceeded) {
    int runs = 0;
    std::string commandLineSeen;
    const auto run = [&](SetupDialog& running) {
        ++runs;
        commandLineSeen = running.commandLine();
        EXPECT_EQ(running.form().itemCount(ControlId::adapterCombo), 2);
    };
    const std::string path = writeModelFile("models.dat",
                                            "Tamro,100\nA,-1,1,-1,-1,-1,-1,-1,-1,1,"
                                            "-1,-1,-1,1,-1\n")
                                 .string();
    runApplication(*frontEnd, services, *table, path, run);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(commandLineSeen, path);

    runApplication(*frontEnd, services, *table, (directory / "missing.dat").string(), run);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(frontEnd->endResults, std::vector<int>{-1});
}

TEST(CommandLineText, JoinsTheArgumentsAfterTheProgramName) {
    const char* const none[] = {"tamro"};
    EXPECT_EQ(commandLineText(1, none), "");
    const char* const some[] = {"tamro", "C:\\models dir\\a.dat", "x"};
    EXPECT_EQ(commandLineText(3, some), "C:\\models dir\\a.dat x");
}

}  // namespace
}  // namespace tamro::testing
