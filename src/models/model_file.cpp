#include "models/model_file.h"

#include <array>
#include <cstdio>
#include <utility>

#include "platform/file_access.h"
#include "platform/text.h"

namespace tamro {

namespace {

// A field is a 256-byte text with its terminator: a longer field keeps its
// first 255 bytes, and the rest, up to the next comma outside quotes, is dropped.
constexpr std::size_t maxFieldLength = 255;

// A line read returns at most this many bytes (a 255-byte buffer with its
// terminator), so longer physical lines arrive in pieces.
constexpr std::size_t maxLineRead = 254;

// Model files are text with CR LF line ends. The file is opened in binary
// mode and the pairs are joined here, so that it reads the same on every
// platform: a CR LF pair arrives as a single LF (a lone CR stays), and each
// read ends after the first LF, after maxLineRead bytes, or at the end of
// the file.
class TextModeReader {
public:
    explicit TextModeReader(std::FILE* file) : file_(file) {}

    // False at the end of the file (or on a read error) when nothing was read.
    bool readLine(std::string& line) {
        line.clear();
        while (line.size() < maxLineRead) {
            const int c = nextByte();
            if (c == EOF) break;
            line += static_cast<char>(c);
            if (c == '\n') break;
        }
        if (line.empty()) return false;
        // The line is a C string from here on: a NUL ends it.
        const auto nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        return true;
    }

private:
    int nextByte() {
        int c = std::getc(file_);
        if (c != '\r') return c;
        const int next = std::getc(file_);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file_);
        return c;
    }

    std::FILE* file_;
};

class FileCloser {
public:
    explicit FileCloser(std::FILE* file) : file_(file) {}
    ~FileCloser() { std::fclose(file_); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    std::FILE* file_;
};

// Only a regular file is read as a model file: a directory holds no lines,
// and a device or pipe could block or never end.
bool isOpenableFile(const std::string& path) { return isRegularFile(path); }

// Columns 1 to 14 of a model line, in file order.
constexpr std::array<std::int32_t ModelRecord::*, 14> columns = {
    &ModelRecord::fixedPort,
    &ModelRecord::serialEditable,
    &ModelRecord::maxBaudIndex,
    &ModelRecord::defaultBaudIndex,
    &ModelRecord::defaultDataBitsIndex,
    &ModelRecord::defaultParityIndex,
    &ModelRecord::defaultStopBitsIndex,
    &ModelRecord::defaultFlowIndex,
    &ModelRecord::cpPinsEditable,
    &ModelRecord::defaultCp1Function,
    &ModelRecord::defaultCp2Function,
    &ModelRecord::defaultCp3Function,
    &ModelRecord::clientMode,
    &ModelRecord::modelVariant,
};

}  // namespace

std::int32_t extractField(std::string_view line, std::int32_t n, std::string& out) {
    out.clear();
    // Lines are C strings: nothing after a NUL belongs to them.
    line = line.substr(0, line.find('\0'));
    if (line.empty()) return 0;

    std::int32_t fieldCounter = 0;
    bool inField = false;
    bool quoting = false;
    for (const char c : line) {
        if (fieldCounter == n) inField = true;
        if (c == '"') {
            quoting = !quoting;
        } else if (c == ',' && !quoting) {
            if (inField) return 1;
            ++fieldCounter;
        } else if (inField && out.size() < maxFieldLength) {
            out += c;
        }
    }
    // The last byte was seen: a field that has begun ends with the line; a
    // comma as the last byte opens no field.
    return inField ? 1 : 0;
}

std::int32_t parseModelLine(std::string_view line, ModelTable& table) {
    ModelRecord record;
    std::string field;
    if (extractField(line, 0, field) == 0) return 0;
    record.name = field.substr(0, maxModelNameLength);

    for (std::int32_t n = 1; n <= 14; ++n) {
        if (extractField(line, n, field) == 0) return 0;
        record.*columns[static_cast<std::size_t>(n - 1)] = decimalValue(field);
    }

    if (table.modelCount < 0 || table.modelCount >= maxModels) return 0;
    table.models[static_cast<std::size_t>(table.modelCount)] = std::move(record);
    ++table.modelCount;
    return 1;
}

std::int32_t loadModelFile(const std::string& path, ModelTable& table, MessageSink& messages) {
    if (!isOpenableFile(path)) return 0;
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) return 0;
    FileCloser closer(file);
    TextModeReader reader(file);

    std::string line;
    if (!reader.readLine(line)) {
        messages.showMessage(modelFileParseFailedMessage);
        return 0;
    }

    // The header is taken as read, line end included.
    std::string field;
    if (extractField(line, 0, field) == 0 || field != "Tamro") {
        messages.showMessage(modelFileWrongMessage);
        return 0;
    }
    if (extractField(line, 1, field) == 0 || decimalValue(field) != 100) {
        messages.showMessage(modelFileWrongMessage);
        return 0;
    }

    while (reader.readLine(line)) {
        std::string_view text = line;
        text = text.substr(0, text.find('\n'));
        text = text.substr(0, text.find('\r'));
        if (text.empty() || text[0] == '\t' || text[0] == ' ' || text[0] == '#') continue;
        parseModelLine(text, table);
    }

    if (table.modelCount == 0) {
        messages.showMessage(modelFileParseFailedMessage);
        return 0;
    }
    return 1;
}

std::string defaultModelFilePath(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of(directorySeparators());
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = executablePath.rfind('.');
    const std::size_t nameEnd =
        dot == std::string::npos || dot < nameStart ? executablePath.size() : dot;
    return executablePath.substr(0, nameEnd) + ".dat";
}

std::int32_t loadModels(std::string_view commandLine, ModelTable& table, MessageSink& messages,
                        const std::optional<std::string>& executablePath) {
    table.modelCount = 0;

    if (commandLine.find(".dat") != std::string_view::npos) {
        std::string_view path = commandLine;
        while (!path.empty() && path.front() == '"') path.remove_prefix(1);
        while (!path.empty() && path.back() == '"') path.remove_suffix(1);
        return loadModelFile(std::string(path), table, messages) == 0 ? 0 : 1;
    }

    if (!executablePath) return 1;
    const std::string path = defaultModelFilePath(*executablePath);
    // Any directory entry counts as found, as a directory search would see it.
    if (!directoryEntryExists(path)) {
        messages.showMessage(modelFileNotFoundMessage);
        return 1;
    }
    loadModelFile(path, table, messages);
    return 1;
}

}  // namespace tamro
