#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "models_command.h"

namespace tamro::cli {
namespace {

using Warnings = std::vector<std::string>;

const std::string header = "Tamro,100\r\n";
const std::string good = "QZ,-1,1,-1,12,1,2,1,3,1,12,13,13,1,1\r\n";

TEST(ModelFileWarnings, AGoodCodePage932FileHasNone) {
    EXPECT_EQ(modelFileWarnings(header + good), Warnings{});
    // "組込み" in code page 932, comments and blank lines as the loader skips them.
    EXPECT_EQ(modelFileWarnings(header + "# x\r\n\r\n x\r\n\tx\r\n\x91\x67\x8D\x9E\x82\xDD" + good),
              Warnings{});
    EXPECT_EQ(modelFileWarnings(""), Warnings{});
}

TEST(ModelFileWarnings, TheFirstLineAndAByteOrderMark) {
    const Warnings bom = modelFileWarnings("\xEF\xBB\xBF" + header + good);
    ASSERT_EQ(bom.size(), 2u);  // it also reads as UTF-8
    EXPECT_NE(bom[1].find("byte-order mark"), std::string::npos);
    EXPECT_NE(bom[1].find("`Tamro,100`"), std::string::npos);
    for (const std::string first : {"Other,100\r\n", "Tamro,99\r\n", "Tamro\r\n"}) {
        EXPECT_EQ(modelFileWarnings(first + good),
                  Warnings{"the first line must be `Tamro,100`"})
            << first;
    }
}

TEST(ModelFileWarnings, ALineWithTheWrongFieldCountIsNamedByNumber) {
    EXPECT_EQ(modelFileWarnings(header + good + "QZ,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1\r\n"),
              Warnings{"line 3 has 14 fields, not 15: the window leaves the model out"});
    // A quoted comma belongs to the name; a trailing comma opens no field.
    EXPECT_EQ(modelFileWarnings(header + "\"QZ, dual\",-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1,\n"),
              Warnings{});
    EXPECT_EQ(modelFileWarnings(header + "QZ,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1,7\n"),
              Warnings{"line 2 has more than 15 fields: the window ignores the rest"});
}

TEST(ModelFileWarnings, ALongLineIsReadInPieces) {
    const std::string name(240, 'N');
    EXPECT_EQ(modelFileWarnings(header + name + ",-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n"),
              (Warnings{"line 2 is longer than 254 bytes: the window reads the rest as a line of "
                        "its own",
                        "line 2 has 6 fields, not 15: the window leaves the model out"}));
    const std::string fits(254 - good.size() + 2, 'N');
    EXPECT_EQ(modelFileWarnings(header + fits + good), Warnings{});
}

TEST(ModelFileWarnings, AFixedPortOutsideTheWritableRange) {
    EXPECT_EQ(modelFileWarnings(header + "Telnet,23,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n"),
              Warnings{"line 2 (Telnet) fixes the port at 23, outside 1024-65535: a write can "
                       "never pass its check"});
    EXPECT_EQ(modelFileWarnings(header + "Big,65536,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n").size(),
              1u);
    EXPECT_EQ(modelFileWarnings(header + "Low,1024,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n"
                                         "High,65535,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n"),
              Warnings{});
}

TEST(ModelFileWarnings, DefaultsOutsideTheirLists) {
    const Warnings warnings =
        modelFileWarnings(header + "QZ,-1,1,-1,13,2,3,-2,4,1,1,0,2,1,1\n");
    EXPECT_EQ(warnings,
              (Warnings{"line 2 (QZ): default baud position 13 is outside its list (0-12)",
                        "line 2 (QZ): default data bits position 2 is outside its list (0-1)",
                        "line 2 (QZ): default parity position 3 is outside its list (0-2)",
                        "line 2 (QZ): default stop bits position -2 is outside its list (0-1)",
                        "line 2 (QZ): default flow position 4 is outside its list (0-3)",
                        "line 2 (QZ): default CP1 function 1 is not in that pin's list",
                        "line 2 (QZ): default CP2 function 0 is not in that pin's list",
                        "line 2 (QZ): default CP3 function 2 is not in that pin's list"}));
}

TEST(ModelFileWarnings, NamesAreShownAsCodePage932) {
    // "ﾃｱ" in code page 932: the file reads as UTF-8 too, and its name is not "ñ".
    const Warnings warnings =
        modelFileWarnings(header + "\xC3\xB1,80,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\n");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("UTF-8"), std::string::npos);
    EXPECT_EQ(warnings[1].rfind("line 2 (ﾃｱ) fixes the port at 80", 0), 0u);
}

}  // namespace
}  // namespace tamro::cli
