#include "ui/console_front_end.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"

namespace tamro::testing {
namespace {

TEST(ConsoleFrontEnd, PrintsEveryMessageAndAsksOnlyForConfirmations) {
    std::ostringstream out;
    std::vector<std::string> asked;
    ConsoleFrontEnd console(out, [&](std::string_view text) {
        asked.emplace_back(text);
        return MessageAnswer::ok;
    });
    EXPECT_EQ(console.showMessage("通信エラー", MessageButtons::ok), MessageAnswer::ok);
    EXPECT_EQ(console.showMessage("設定を書き込みます。", MessageButtons::okCancel),
              MessageAnswer::ok);
    EXPECT_EQ(out.str(), "通信エラー\n設定を書き込みます。\n");
    EXPECT_EQ(asked, std::vector<std::string>{"設定を書き込みます。"});
    ASSERT_EQ(console.messages().size(), 2u);
    EXPECT_EQ(console.messages()[1].buttons, MessageButtons::okCancel);
}

TEST(ConsoleFrontEnd, WithoutAnAnswerAConfirmationIsCancelled) {
    std::ostringstream out;
    ConsoleFrontEnd console(out);
    EXPECT_EQ(console.showMessage("設定を書き込みます。", MessageButtons::okCancel),
              MessageAnswer::cancel);
    EXPECT_EQ(console.messages()[0].answer, MessageAnswer::cancel);
    EXPECT_FALSE(console.endResult().has_value());
    console.endDialog(-1);
    EXPECT_EQ(console.endResult(), -1);
}

TEST(ConsoleFrontEnd, MessagesArePrintedAsTheUtf8TheyAre) {
    std::ostringstream out;
    ConsoleFrontEnd console(out);
    // The dialog has read the model name from its code page already; the
    // message is not guessed at again.
    console.showMessage("ﾃｱ QZに設定を書き込みます。", MessageButtons::ok);
    EXPECT_EQ(out.str(), "ﾃｱ QZに設定を書き込みます。\n");
    EXPECT_EQ(console.messages()[0].text, "ﾃｱ QZに設定を書き込みます。");
}

// The command line drives the same handlers: a press of the write button
// returns with the write done and its outcome printed.
TEST_F(DialogTest, AConsoleRunsTheWholeWriteWithinThePress) {
    std::ostringstream out;
    ConsoleFrontEnd console(out, [](std::string_view) { return MessageAnswer::ok; });
    dialog = std::make_unique<SetupDialog>(console, services, *table);
    ASSERT_TRUE(dialog->initDialog());
    search({readDevice(0x0A, Ipv4::fromOctets(10, 77, 0, 20))});
    selectDevice(0);
    ASSERT_EQ(form().userClick(ControlId::writeButton), UserInput::accepted);
    EXPECT_EQ(out.str(), std::string(writeConfirmationMessage) + "\n" +
                             std::string(writeCompleteMessage) + "\n");
    EXPECT_EQ(services.writes.size(), 1u);
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
    EXPECT_FALSE(dialog->writeRunning());
}

}  // namespace
}  // namespace tamro::testing
