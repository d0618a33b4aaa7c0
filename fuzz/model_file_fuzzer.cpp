// loadModelFile on arbitrary file contents: the table stays within its
// bounds, names keep their limits, and the operator hears about a refusal
// exactly once.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "models/model_file.h"

using namespace tamro;
using fuzzing::check;

namespace {

class RecordingSink : public MessageSink {
public:
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};

// One name for the whole run; the file lives only while an input is loaded,
// so that a run leaves nothing behind, unless the loader itself crashes.
std::string modelFilePath;

// One table too: a fresh one per input would spend the run in page faults.
ModelTable& emptiedTable() {
    static ModelTable table;
    for (std::int32_t i = 0; i < table.modelCount; ++i) {
        table.models[static_cast<std::size_t>(i)] = ModelRecord{};
    }
    table.modelCount = 0;
    return table;
}

// Rewriting a file on a disk file system a thousand times a second waits on
// the disk; /dev/shm keeps it in memory.
std::string temporaryDirectory() {
    if (const char* dir = std::getenv("TMPDIR"); dir != nullptr && *dir != '\0') return dir;
    std::error_code error;
    return std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
}

void writeModelFile(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(modelFilePath.c_str(), "wb");
    check(file != nullptr, "the temporary model file opens");
    if (size > 0) check(std::fwrite(data, 1, size, file) == size, "the model file is written");
    check(std::fclose(file) == 0, "the model file is closed");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = temporaryDirectory() + "/tamro-model-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    check(fd != -1, "a temporary model file can be made");
    ::close(fd);
    std::remove(pattern.c_str());
    modelFilePath = pattern;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeModelFile(data, size);
    ModelTable& table = emptiedTable();
    RecordingSink sink;
    const std::int32_t result = loadModelFile(modelFilePath, table, sink);
    std::remove(modelFilePath.c_str());

    check(table.modelCount >= 0 && table.modelCount <= maxModels, "model count within bounds");
    check((result == 1) == (table.modelCount > 0), "success exactly when a model was taken");
    if (result == 1) {
        check(sink.messages.empty(), "a successful load says nothing");
    } else {
        check(result == 0, "result is 0 or 1");
        check(sink.messages.size() == 1, "a refused file gives one message");
        const std::string& m = sink.messages.front();
        check(m == modelFileParseFailedMessage || m == modelFileWrongMessage,
              "a refusal's message is one of the loader's");
    }

    // A model line holds fifteen fields, so at least 14 commas and one more
    // byte, and no two models share a byte.
    check(static_cast<std::size_t>(table.modelCount) * 15 <= size, "no model without its line");

    for (std::int32_t i = 0; i < table.modelCount; ++i) {
        const std::string& name = table.models[static_cast<std::size_t>(i)].name;
        check(name.size() <= maxModelNameLength, "model name within its length");
        check(name.find_first_of(std::string_view("\0\r\n\"", 4)) == std::string::npos,
              "model name free of NUL, line ends and quotes");
    }
    for (std::size_t i = static_cast<std::size_t>(table.modelCount); i < table.models.size(); ++i) {
        check(table.models[i] == ModelRecord{}, "records past the count untouched");
    }
    return 0;
}
