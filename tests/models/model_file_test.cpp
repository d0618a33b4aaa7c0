#include "models/model_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tamro {
namespace {

namespace fs = std::filesystem;

using namespace std::string_literals;

class RecordingSink : public MessageSink {
public:
    void showMessage(std::string_view text) override { shown.emplace_back(text); }
    std::vector<std::string> shown;
};

// "NAME,1,2,...,14": every column gets a distinct value.
std::string modelLine(const std::string& name) {
    std::string line = name;
    for (int column = 1; column <= 14; ++column) line += "," + std::to_string(column);
    return line;
}

std::string field(std::string_view line, std::int32_t n) {
    std::string out;
    EXPECT_EQ(extractField(line, n, out), 1) << "field " << n << " of '" << line << "'";
    return out;
}

bool hasField(std::string_view line, std::int32_t n) {
    std::string out;
    return extractField(line, n, out) == 1;
}

TEST(ExtractField, FieldsAreCountedByCommasAndATrailingCommaOpensNone) {
    EXPECT_EQ(field("a,bc,d", 0), "a");
    EXPECT_EQ(field("a,bc,d", 2), "d");
    EXPECT_FALSE(hasField("a,bc,d", 3));
    EXPECT_FALSE(hasField("", 0));
    EXPECT_EQ(field("a,,c", 1), "");
    EXPECT_EQ(field(",", 0), "");
    EXPECT_FALSE(hasField("a,b,", 2));
    // Lines are C strings.
    EXPECT_FALSE(hasField("a\0,b"s, 1));
}

TEST(ExtractField, QuotesSwitchQuotingAndAreDropped) {
    EXPECT_EQ(field("\"x,y\",z", 0), "x,y");
    EXPECT_EQ(field("\"x,y\",z", 1), "z");
    EXPECT_EQ(field("ab\"c\"d,e", 0), "abcd");
    // An unmatched quote takes the rest of the line into the current field.
    EXPECT_EQ(field("a,\"b,c,d", 1), "b,c,d");
    EXPECT_FALSE(hasField("a,\"b,c,d", 2));
}

TEST(ExtractField, KeepsAtMost255BytesButStillCountsFields) {
    const std::string line = std::string(300, 'x') + ",y";
    EXPECT_EQ(field(line, 0), std::string(255, 'x'));
    EXPECT_EQ(field(line, 1), "y");
}

TEST(ParseModelLine, FifteenFieldsFillTheColumnsInOrder) {
    ModelTable table;
    ASSERT_EQ(parseModelLine(modelLine("QZ-1"), table), 1);
    ASSERT_EQ(table.modelCount, 1);
    const ModelRecord expected{"QZ-1", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    EXPECT_EQ(table.models[0], expected);
}

TEST(ParseModelLine, NeedsFifteenFieldsAndIgnoresMore) {
    ModelTable table;
    EXPECT_EQ(parseModelLine("A,1,2,3,4,5,6,7,8,9,10,11,12,13", table), 0);
    // The fifteenth field left empty at the end of the line is missing.
    EXPECT_EQ(parseModelLine("A,1,2,3,4,5,6,7,8,9,10,11,12,13,", table), 0);
    EXPECT_EQ(parseModelLine("", table), 0);
    EXPECT_EQ(table.modelCount, 0);

    EXPECT_EQ(parseModelLine(modelLine("B") + ",99,junk", table), 1);
    ASSERT_EQ(table.modelCount, 1);
    EXPECT_EQ(table.models[0].modelVariant, 14);
}

TEST(ParseModelLine, ColumnsConvertLikeAtoi) {
    ModelTable table;
    ASSERT_EQ(
        parseModelLine("\"Q, Z\",,-1, 7,+8,9x,x9,1.9,2147483648,-99999999999,0010,\"5\",-, -3,44",
                       table),
        1);
    // An empty field is 0, not -1; numbers beyond 32 bits saturate.
    const ModelRecord expected{"Q, Z",
                               0,
                               -1,
                               7,
                               8,
                               9,
                               0,
                               1,
                               std::numeric_limits<std::int32_t>::max(),
                               std::numeric_limits<std::int32_t>::min(),
                               10,
                               5,
                               0,
                               -3,
                               44};
    EXPECT_EQ(table.models[0], expected);
}

TEST(ParseModelLine, EmptyNameIsAcceptedAndLongNameIsCut) {
    ModelTable table;
    EXPECT_EQ(parseModelLine(modelLine(""), table), 1);
    EXPECT_EQ(parseModelLine(modelLine(std::string(300, 'n')), table), 1);
    ASSERT_EQ(table.modelCount, 2);
    EXPECT_EQ(table.models[0].name, "");
    EXPECT_EQ(table.models[1].name, std::string(254, 'n'));
    EXPECT_EQ(table.models[1].modelVariant, 14);
}

TEST(DefaultModelFilePath, ReplacesOnlyTheLastExtensionOfTheFileName) {
    EXPECT_EQ(defaultModelFilePath("/opt/tamro/tamro"), "/opt/tamro/tamro.dat");
    EXPECT_EQ(defaultModelFilePath("/opt/tamro/tamro.exe"), "/opt/tamro/tamro.dat");
    EXPECT_EQ(defaultModelFilePath("/opt/tamro/tamro.v1.2.exe"), "/opt/tamro/tamro.v1.2.dat");
    EXPECT_EQ(defaultModelFilePath("/opt/tamro.d/tamro"), "/opt/tamro.d/tamro.dat");
    EXPECT_EQ(defaultModelFilePath("tamro.bin"), "tamro.dat");
    EXPECT_EQ(defaultModelFilePath("/opt/.hidden"), "/opt/.dat");
}

// Each test gets its own directory for the files it writes.
class ModelFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = fs::temp_directory_path() /
                     ("tamro-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path path = directory_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::string pathOf(const std::string& name) const { return (directory_ / name).string(); }

    // Loads `bytes` as a model file into table_.
    std::int32_t load(const std::string& bytes) {
        return loadModelFile(write("models.dat", bytes), *table_, sink_);
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (std::int32_t i = 0; i < table_->modelCount; ++i) {
            result.push_back(table_->models[static_cast<std::size_t>(i)].name);
        }
        return result;
    }

    fs::path directory_;
    std::unique_ptr<ModelTable> table_ = std::make_unique<ModelTable>();
    RecordingSink sink_;
};

const std::vector<std::string> noMessages;
const std::vector<std::string> wrongFile{std::string(modelFileWrongMessage)};
const std::vector<std::string> parseFailed{std::string(modelFileParseFailedMessage)};
const std::vector<std::string> notFound{std::string(modelFileNotFoundMessage)};

TEST_F(ModelFileTest, AcceptsHeaderVariants) {
    for (const std::string& header : std::vector<std::string>{
             "Tamro,100\n", "Tamro,100\r\n", "Tamro,100,anything,else\n", "Tamro,  100\n",
             "Tamro,00100\n", "Tamro,100.7\n", "Tamro,\"100\"\n"}) {
        table_->modelCount = 0;
        EXPECT_EQ(load(header + modelLine("A")), 1) << header;
        EXPECT_EQ(table_->modelCount, 1) << header;
    }
    EXPECT_EQ(sink_.shown, noMessages);
}

TEST_F(ModelFileTest, RejectsWrongHeaders) {
    for (const std::string& header : std::vector<std::string>{
             "tamro,100\n", "TAMRO,100\n", "Tamro,99\n", "Tamro,101\n", "Tamro\n", "Tamro,\n",
             "Tamro ,100\n", " Tamro,100\n", "\"Tamro\",\n", "Tamro\r\n", "\xEF\xBB\xBFTamro,100\n",
             "#Tamro,100\n", "\n", "Tam\0ro,100\n"s, "\0Tamro,100\n"s,
             // The number lies beyond the header's first read.
             "Tamro," + std::string(250, ' ') + "100\n"}) {
        table_->modelCount = 0;
        sink_.shown.clear();
        EXPECT_EQ(load(header + modelLine("A") + "\n"), 0) << header;
        EXPECT_EQ(table_->modelCount, 0) << header;
        EXPECT_EQ(sink_.shown, wrongFile) << header;
    }
}

TEST_F(ModelFileTest, FileWithoutModelsFailsToParse) {
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(sink_.shown, parseFailed);

    sink_.shown.clear();
    EXPECT_EQ(load("Tamro,100\r\n# only a comment\r\n" + modelLine("short").substr(0, 20) + "\r\n"),
              0);
    EXPECT_EQ(sink_.shown, parseFailed);
}

TEST_F(ModelFileTest, SkipsCommentsAndEmptyLinesAndKeepsFileOrder) {
    const std::string cp932Name = "\x91\x67\x8D\x9E";  // a lead byte comes first
    std::string file = "Tamro,100\r\n";
    for (const std::string& line :
         {modelLine("first"), ""s, "#" + modelLine("hash"), " " + modelLine("space"),
          "\t" + modelLine("tab"), modelLine(cp932Name), modelLine("too,few").substr(0, 12),
          modelLine("")}) {
        file += line + "\r\n";
    }
    file += "\n" + modelLine("last");  // an LF-only empty line, then no line end at all
    EXPECT_EQ(load(file), 1);
    EXPECT_EQ(sink_.shown, noMessages);
    const std::vector<std::string> expected{"first", cp932Name, "", "last"};
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(table_->models[3].modelVariant, 14);
}

TEST_F(ModelFileTest, CarriageReturnEndsTheLineText) {
    // LF-only line ends work as well as CR LF; a lone CR ends the text early.
    EXPECT_EQ(load("Tamro,100\n" + modelLine("A") + "\rtrailing,junk\n" +
                   "B,1,2,3,4,5,6,7,8,9,10,11,12,13\r,14\n" + "\r" + modelLine("C") + "\n" +
                   modelLine("D") + ",7\r\n"),
              1);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "D"}));
    EXPECT_EQ(table_->models[0].modelVariant, 14);
}

TEST_F(ModelFileTest, LongLinesAreReadIn254BytePieces) {
    // Fifteen fields, padded by a sixteenth so the line's first read ends
    // exactly where "B..." begins; that continuation is a model of its own.
    std::string first = modelLine("A") + ",";
    first += std::string(254 - first.size(), 'p');
    // A continuation with too few fields is skipped.
    std::string second = modelLine("C") + ",";
    second += std::string(254 - second.size(), 'p') + "1,2,3";
    // The fifteenth field lies beyond the first 254 bytes: the line is lost.
    const std::string third = modelLine(std::string(240, 'D'));
    // A line of exactly 254 bytes leaves its line end as an empty read.
    std::string fourth = modelLine("E") + ",";
    fourth += std::string(254 - fourth.size(), 'q');

    EXPECT_EQ(load("Tamro,100\r\n" + first + modelLine("B") + "\r\n" + second + "\r\n" + third +
                   "\r\n" + fourth + "\r\n" + modelLine("F") + "\r\n"),
              1);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "C", "E", "F"}));
    EXPECT_EQ(table_->models[3].modelVariant, 14);
}

TEST_F(ModelFileTest, NulCutsTheRestOfItsRead) {
    EXPECT_EQ(load("Tamro,100\n" + modelLine("A") + "\0garbage\n"s + "B,1,2\0"s +
                   ",3,4,5,6,7,8,9,10,11,12,13,14\n" + "\0\n"s + modelLine("C") + "\n"),
              1);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "C"}));
}

TEST_F(ModelFileTest, Model257AndLaterAreIgnored) {
    std::string file = "Tamro,100\n";
    for (int i = 0; i < 300; ++i) file += modelLine("M" + std::to_string(i)) + "\n";
    EXPECT_EQ(load(file), 1);
    ASSERT_EQ(table_->modelCount, 256);
    EXPECT_EQ(table_->models[0].name, "M0");
    EXPECT_EQ(table_->models[255].name, "M255");
    EXPECT_EQ(sink_.shown, noMessages);
}

TEST_F(ModelFileTest, AppendsToTheTable) {
    const std::string path = write("m.dat", "Tamro,100\n" + modelLine("A") + "\n");
    EXPECT_EQ(loadModelFile(path, *table_, sink_), 1);
    EXPECT_EQ(loadModelFile(path, *table_, sink_), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "A"}));
}

TEST_F(ModelFileTest, UnopenablePathsFailWithoutMessage) {
    EXPECT_EQ(loadModelFile(pathOf("missing.dat"), *table_, sink_), 0);
    fs::create_directory(pathOf("folder.dat"));
    EXPECT_EQ(loadModelFile(pathOf("folder.dat"), *table_, sink_), 0);
    EXPECT_EQ(loadModelFile("", *table_, sink_), 0);
    EXPECT_EQ(sink_.shown, noMessages);
}

TEST_F(ModelFileTest, SurvivesHugeLines) {
    // One megabyte without a line end: every piece is parsed on its own.
    EXPECT_EQ(load("Tamro,100\n" + std::string(1 << 20, 'x')), 0);
    EXPECT_EQ(sink_.shown, parseFailed);

    // Each 254-byte piece of "1,1,1,..." is a model line of 127 fields.
    sink_.shown.clear();
    std::string ones;
    for (int i = 0; i < (1 << 19); ++i) ones += "1,";
    EXPECT_EQ(load("Tamro,100\n" + ones + "\n"), 1);
    EXPECT_EQ(table_->modelCount, 256);
    EXPECT_EQ(table_->models[255].name, "1");
}

TEST_F(ModelFileTest, SurvivesRandomBytes) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> special(0, 7);
    for (int round = 0; round < 20; ++round) {
        // Plenty of commas, quotes and line ends, so that fields form.
        std::string bytes;
        for (int i = 0; i < 20000; ++i) {
            const int kind = special(random);
            bytes += kind == 0 ? ',' : kind == 1 ? "\n\""[i % 2] : static_cast<char>(byte(random));
        }
        table_->modelCount = 0;
        sink_.shown.clear();
        const std::int32_t withHeader = load("Tamro,100\r\n" + bytes);
        EXPECT_GE(table_->modelCount, 0);
        EXPECT_LE(table_->modelCount, 256);
        EXPECT_EQ(withHeader, table_->modelCount > 0 ? 1 : 0);
        EXPECT_EQ(sink_.shown, withHeader == 1 ? noMessages : parseFailed);

        table_->modelCount = 0;
        sink_.shown.clear();
        EXPECT_EQ(load("\xFF" + bytes), 0);
        EXPECT_EQ(sink_.shown, wrongFile);
    }
}

class LoadModelsTest : public ModelFileTest {
protected:
    std::string goodFile(const std::string& name, const std::string& model) {
        return write(name, "Tamro,100\r\n" + modelLine(model) + "\r\n");
    }
};

TEST_F(LoadModelsTest, CommandLinePathIsUsedWithItsQuotesStripped) {
    const std::string path = goodFile("given.dat", "given");
    goodFile("tamro.dat", "default");
    const auto exe = std::optional<std::string>(pathOf("tamro.exe"));

    EXPECT_EQ(loadModels("\"" + path + "\"", *table_, sink_, exe), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"given"}));
    EXPECT_EQ(loadModels("\"\"" + path + "\"\"\"", *table_, sink_, exe), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"given"}));
    // ".dat" anywhere in the text makes it a path.
    EXPECT_EQ(loadModels(goodFile("m.database", "db"), *table_, sink_, std::nullopt), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"db"}));
    EXPECT_EQ(sink_.shown, noMessages);
}

TEST_F(LoadModelsTest, FailingCommandLineFileEndsTheStart) {
    const std::string path = goodFile("given.dat", "given");
    goodFile("tamro.dat", "default");
    const auto exe = std::optional<std::string>(pathOf("tamro"));
    table_->modelCount = 3;

    // Text after the path is part of the path.
    EXPECT_EQ(loadModels("\"" + path + "\" -x", *table_, sink_, exe), 0);
    EXPECT_EQ(table_->modelCount, 0);
    EXPECT_EQ(sink_.shown, noMessages);

    EXPECT_EQ(loadModels(write("wrong.dat", "Other,100\n" + modelLine("A")), *table_, sink_, exe),
              0);
    EXPECT_EQ(sink_.shown, wrongFile);

    sink_.shown.clear();
    EXPECT_EQ(loadModels(write("empty.dat", ""), *table_, sink_, exe), 0);
    EXPECT_EQ(loadModels(write("bare.dat", "Tamro,100\n"), *table_, sink_, exe), 0);
    EXPECT_EQ(sink_.shown, (std::vector<std::string>{parseFailed[0], parseFailed[0]}));
}

TEST_F(LoadModelsTest, WithoutDatTheFileBesideTheProgramIsUsed) {
    goodFile("tamro.v2.dat", "dotted");
    const std::string upper = goodFile("given.DAT", "upper");
    EXPECT_EQ(loadModels("\"" + upper + "\"", *table_, sink_, pathOf("tamro.v2.exe")), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"dotted"}));

    fs::create_directory(pathOf("dir.d"));
    goodFile("dir.d/tamro.dat", "in dir");
    EXPECT_EQ(loadModels("", *table_, sink_, pathOf("dir.d/tamro")), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"in dir"}));
    EXPECT_EQ(sink_.shown, noMessages);
}

TEST_F(LoadModelsTest, ProblemsWithTheDefaultFileNeverEndTheStart) {
    table_->modelCount = 2;
    EXPECT_EQ(loadModels("", *table_, sink_, std::nullopt), 1);
    EXPECT_EQ(table_->modelCount, 0);
    EXPECT_EQ(sink_.shown, noMessages);

    EXPECT_EQ(loadModels("", *table_, sink_, pathOf("absent")), 1);
    EXPECT_EQ(sink_.shown, notFound);

    sink_.shown.clear();
    fs::create_directory(pathOf("folder.dat"));
    EXPECT_EQ(loadModels("", *table_, sink_, pathOf("folder")), 1);
    EXPECT_EQ(sink_.shown, noMessages);

    write("wrong.dat", "Tamro,99\n" + modelLine("A") + "\n");
    EXPECT_EQ(loadModels("", *table_, sink_, pathOf("wrong")), 1);
    write("empty.dat", "");
    EXPECT_EQ(loadModels("", *table_, sink_, pathOf("empty")), 1);
    EXPECT_EQ(table_->modelCount, 0);
    EXPECT_EQ(sink_.shown, (std::vector<std::string>{wrongFile[0], parseFailed[0]}));
}

}  // namespace
}  // namespace tamro
