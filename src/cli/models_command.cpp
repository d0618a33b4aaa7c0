#include "models_command.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "device_table_text.h"
#include "models/model_file.h"
#include "platform/executable_path.h"
#include "platform/file_access.h"
#include "platform/text.h"
#include "protocol/vocabulary.h"

namespace tamro::cli {

namespace {

// Prints each message the moment the loader shows it and keeps it for the
// JSON result.
class StderrSink : public MessageSink {
public:
    void showMessage(std::string_view text) override {
        std::cerr << text << std::endl;
        shown.emplace_back(text);
    }

    std::vector<std::string> shown;
};

struct Column {
    const char* key;
    const char* heading;
    std::int32_t ModelRecord::*value;
};

constexpr std::array<Column, 14> columns = {{
    {"fixedPort", "Port", &ModelRecord::fixedPort},
    {"serialEditable", "Serial", &ModelRecord::serialEditable},
    {"maxBaudIndex", "MaxBaud", &ModelRecord::maxBaudIndex},
    {"defaultBaudIndex", "Baud", &ModelRecord::defaultBaudIndex},
    {"defaultDataBitsIndex", "Data", &ModelRecord::defaultDataBitsIndex},
    {"defaultParityIndex", "Parity", &ModelRecord::defaultParityIndex},
    {"defaultStopBitsIndex", "Stop", &ModelRecord::defaultStopBitsIndex},
    {"defaultFlowIndex", "Flow", &ModelRecord::defaultFlowIndex},
    {"cpPinsEditable", "Pins", &ModelRecord::cpPinsEditable},
    {"defaultCp1Function", "CP1", &ModelRecord::defaultCp1Function},
    {"defaultCp2Function", "CP2", &ModelRecord::defaultCp2Function},
    {"defaultCp3Function", "CP3", &ModelRecord::defaultCp3Function},
    {"clientMode", "Client", &ModelRecord::clientMode},
    {"modelVariant", "Variant", &ModelRecord::modelVariant},
}};

void printTable(const ModelTable& table, std::ostream& out) {
    if (table.modelCount <= 0) {
        out << "No models.\n";
        return;
    }
    const auto count = static_cast<std::size_t>(table.modelCount);
    std::vector<std::string> names;
    std::size_t nameWidth = std::string_view("Name").size();
    for (std::size_t i = 0; i < count; ++i) {
        names.push_back(fromCodePage932(table.models[i].name));
        nameWidth = std::max(nameWidth, displayWidth(names.back()));
    }

    std::array<std::size_t, columns.size()> widths{};
    for (std::size_t c = 0; c < columns.size(); ++c) {
        widths[c] = std::string_view(columns[c].heading).size();
        for (std::size_t i = 0; i < count; ++i) {
            widths[c] =
                std::max(widths[c], std::to_string(table.models[i].*columns[c].value).size());
        }
    }

    auto padLeft = [&out](const std::string& text, std::size_t width) {
        out << std::string(width > text.size() ? width - text.size() : 0, ' ') << text;
    };
    out << "Name" << std::string(nameWidth - 4, ' ');
    for (std::size_t c = 0; c < columns.size(); ++c) {
        out << "  ";
        padLeft(columns[c].heading, widths[c]);
    }
    out << '\n';
    for (std::size_t i = 0; i < count; ++i) {
        out << names[i] << std::string(nameWidth - displayWidth(names[i]), ' ');
        for (std::size_t c = 0; c < columns.size(); ++c) {
            out << "  ";
            padLeft(std::to_string(table.models[i].*columns[c].value), widths[c]);
        }
        out << '\n';
    }
}

void printJson(const ModelTable& table, const std::vector<std::string>& messages,
               const std::vector<std::string>& warnings, std::ostream& out) {
    nlohmann::ordered_json models = nlohmann::ordered_json::array();
    for (std::int32_t i = 0; i < table.modelCount; ++i) {
        const ModelRecord& model = table.models[static_cast<std::size_t>(i)];
        nlohmann::ordered_json entry;
        entry["name"] = fromCodePage932(model.name);
        for (const Column& column : columns) entry[column.key] = model.*column.value;
        models.push_back(std::move(entry));
    }
    nlohmann::ordered_json result;
    result["models"] = std::move(models);
    result["messages"] = messages;
    result["warnings"] = warnings;
    out << result.dump(2) << '\n';
}

struct ModelsOptions {
    std::string text;
    bool json = false;
};

// The file the loader reads for this command-line text, as it finds it.
std::optional<std::string> modelFilePath(std::string_view text) {
    if (text.find(".dat") != std::string_view::npos) {
        while (!text.empty() && text.front() == '"') text.remove_prefix(1);
        while (!text.empty() && text.back() == '"') text.remove_suffix(1);
        return std::string(text);
    }
    const auto program = windowProgramPath();
    if (!program) return std::nullopt;
    return defaultModelFilePath(*program);
}

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file && !file.eof()) return std::nullopt;
    return bytes.str();
}

}  // namespace

std::string openFailureReason(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(pathFromUtf8(path), error);
    if (error) return error.message();
    if (std::filesystem::is_directory(status)) return std::strerror(EISDIR);
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) return std::strerror(errno);
    std::fclose(file);
    return "";
}

std::vector<std::string> modelFileWarnings(std::string_view bytes) {
    std::vector<std::string> warnings;
    const bool nonAscii = std::any_of(bytes.begin(), bytes.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (nonAscii && isValidUtf8(bytes)) {
        warnings.emplace_back(
            "every non-ASCII byte in the file reads as UTF-8, but model names are read as code "
            "page 932: was the file saved in the wrong encoding?");
    }

    // Lines as the loader reads them: CR LF is a line end, a NUL ends a line.
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line.substr(0, line.find('\0')));
        start = end + 1;
    }
    if (lines.empty()) return warnings;

    std::string field;
    const std::string_view first = lines.front();
    if (first.starts_with("\xEF\xBB\xBF")) {
        warnings.emplace_back(
            "the file starts with a UTF-8 byte-order mark: the first line must be `Tamro,100`, "
            "and the file code page 932 text");
        return warnings;
    }
    if (extractField(first, 0, field) == 0 || field != "Tamro" ||
        extractField(first, 1, field) == 0 || decimalValue(field) != 100) {
        warnings.emplace_back("the first line must be `Tamro,100`");
        return warnings;
    }

    constexpr std::int32_t modelFields = 15;
    constexpr std::int32_t noConstraint = -1;
    // One line at a time through the loader's own parser; off the stack.
    auto table = std::make_unique<ModelTable>();
    for (std::size_t n = 1; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        line = line.substr(0, line.find('\r'));
        if (line.empty() || line[0] == '\t' || line[0] == ' ' || line[0] == '#') continue;
        const std::string where = "line " + std::to_string(n + 1);
        // The window reads a line in pieces of this many bytes.
        constexpr std::size_t linePiece = 254;
        if (line.size() > linePiece) {
            warnings.push_back(where + " is longer than 254 bytes: the window reads the rest as "
                                       "a line of its own");
            line = line.substr(0, linePiece);
        }
        std::int32_t fields = 0;
        while (fields <= modelFields && extractField(line, fields, field) != 0) ++fields;
        if (fields < modelFields) {
            warnings.push_back(where + " has " + std::to_string(fields) +
                               " fields, not 15: the window leaves the model out");
            continue;
        }
        if (fields > modelFields) {
            warnings.push_back(where + " has more than 15 fields: the window ignores the rest");
        }
        table->modelCount = 0;
        if (parseModelLine(line, *table) == 0) continue;
        const ModelRecord& model = table->models[0];
        const std::string name = where + " (" + fromCodePage932(model.name) + ")";
        if (model.fixedPort != noConstraint && (model.fixedPort < 1024 || model.fixedPort > 65535)) {
            warnings.push_back(name + " fixes the port at " + std::to_string(model.fixedPort) +
                               ", outside 1024-65535: a write can never pass its check");
        }
        const struct {
            const char* what;
            std::int32_t value;
            std::size_t size;
        } lists[] = {
            {"baud", model.defaultBaudIndex, baudTexts.size()},
            {"data bits", model.defaultDataBitsIndex, dataBitsTexts.size()},
            {"parity", model.defaultParityIndex, parityTexts.size()},
            {"stop bits", model.defaultStopBitsIndex, stopBitsTexts.size()},
            {"flow", model.defaultFlowIndex, flowTexts.size()},
        };
        for (const auto& list : lists) {
            if (list.value == noConstraint) continue;
            if (list.value < 0 || static_cast<std::size_t>(list.value) >= list.size) {
                warnings.push_back(name + ": default " + list.what + " position " +
                                   std::to_string(list.value) + " is outside its list (0-" +
                                   std::to_string(list.size - 1) + ")");
            }
        }
        const std::array<std::int32_t, pinCount> pins = {
            model.defaultCp1Function, model.defaultCp2Function, model.defaultCp3Function};
        for (std::int32_t pin = 0; pin < pinCount; ++pin) {
            const std::int32_t code = pins[static_cast<std::size_t>(pin)];
            if (code == noConstraint || pinListPosition(code, pin) >= 0) continue;
            warnings.push_back(name + ": default CP" + std::to_string(pin + 1) + " function " +
                               std::to_string(code) + " is not in that pin's list");
        }
    }
    return warnings;
}

namespace {

int runModels(const ModelsOptions& options) {
    // The table holds 256 records; keep it off the stack.
    auto table = std::make_unique<ModelTable>();
    StderrSink sink;
    const std::int32_t result = loadModels(options.text, *table, sink, windowProgramPath());
    // The window shows nothing for a file it cannot open; a terminal can be told why.
    if (table->modelCount == 0 && sink.shown.empty()) {
        if (const auto path = modelFilePath(options.text)) {
            const std::string reason = openFailureReason(*path);
            if (!reason.empty()) std::cerr << "tamroctl: " << *path << ": " << reason << '\n';
        }
    }
    std::vector<std::string> warnings;
    if (const auto path = modelFilePath(options.text)) {
        if (const auto bytes = fileBytes(*path)) {
            warnings = modelFileWarnings(*bytes);
            for (const std::string& warning : warnings) {
                std::cerr << "tamroctl: warning: " << *path << ": " << warning << '\n';
            }
        }
    }
    if (options.json) {
        printJson(*table, sink.shown, warnings, std::cout);
    } else {
        printTable(*table, std::cout);
    }
    std::cout.flush();
    return result == 1 ? 0 : 1;
}

}  // namespace

// The window program `tamro` sits beside tamroctl; its model file is the
// one to use when no file is named.
std::optional<std::string> windowProgramPath() {
    const auto self = executablePath();
    if (!self) return std::nullopt;
    return (std::filesystem::path(*self).parent_path() / "tamro").string();
}

void addModelsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ModelsOptions>();
    CLI::App* command = app.add_subcommand(
        "models", "Load the model file as the window would and list its models.");
    command->add_option("TEXT", options->text,
                        "Command-line text for the loader: a model file path when it contains "
                        "\".dat\"; otherwise the file beside the programs is used");
    command->add_flag("--json", options->json, "Print one JSON object instead of a table");
    command->callback([options, &exitCode] { exitCode = runModels(*options); });
}

}  // namespace tamro::cli
