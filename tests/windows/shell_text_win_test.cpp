#include <gtest/gtest.h>

#include "ui/win32/shell_text.h"

namespace tamro::win32 {
namespace {

TEST(CommandLineText, IsWhatFollowsTheProgramsNameAndItsBlanks) {
    EXPECT_EQ(commandLineText(L"tamro.exe C:\\m\\a.dat"), L"C:\\m\\a.dat");
    EXPECT_EQ(commandLineText(L"tamro.exe \t  a.dat"), L"a.dat");
    // A quoted name may hold blanks; the quotes around the text stay.
    EXPECT_EQ(commandLineText(L"\"C:\\Program Files\\tamro.exe\" \"x y.dat\""), L"\"x y.dat\"");
    EXPECT_EQ(commandLineText(L"\"C:\\a b\\tamro.exe\"a.dat"), L"a.dat");
}

TEST(CommandLineText, KeepsBlanksAtItsEndAndInside) {
    EXPECT_EQ(commandLineText(L"tamro a  b.dat  "), L"a  b.dat  ");
    EXPECT_EQ(commandLineText(L"\"tamro\"   x\t"), L"x\t");
}

TEST(CommandLineText, IsEmptyWithoutText) {
    EXPECT_EQ(commandLineText(L"tamro.exe"), L"");
    EXPECT_EQ(commandLineText(L"tamro.exe   "), L"");
    EXPECT_EQ(commandLineText(L"\"C:\\tamro.exe\""), L"");
    EXPECT_EQ(commandLineText(L""), L"");
    // An unclosed quote makes the whole line the program's name.
    EXPECT_EQ(commandLineText(L"\"C:\\tamro.exe a.dat"), L"");
}

TEST(ProgramName, IsTheFileNameWithoutFolderAndExtension) {
    EXPECT_EQ(programName(L"C:\\Tools\\tamro.exe"), L"tamro");
    EXPECT_EQ(programName(L"Z:/work/build/tamro_win32_tests.exe"), L"tamro_win32_tests");
    EXPECT_EQ(programName(L"C:\\v1.2\\tamro"), L"tamro");
    EXPECT_EQ(programName(L"C:\\a\\my.setup.exe"), L"my.setup");
    EXPECT_EQ(programName(L".hidden"), L".hidden");
}

TEST(IconOrigin, CentresRoundingUpAndTruncatesTowardZero) {
    EXPECT_EQ(iconOrigin(160, 40, 32, 32), (IconOrigin{64, 4}));
    EXPECT_EQ(iconOrigin(161, 41, 32, 32), (IconOrigin{65, 5}));
    EXPECT_EQ(iconOrigin(32, 32, 32, 32), (IconOrigin{0, 0}));
    // A client smaller than the icon: (-3 + 1) / 2 is -1, (-4 + 1) / 2 is -1 too.
    EXPECT_EQ(iconOrigin(29, 28, 32, 32), (IconOrigin{-1, -1}));
}

}  // namespace
}  // namespace tamro::win32
