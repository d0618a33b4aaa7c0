#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "models/model_table.h"

namespace tamro {

// Texts the loader shows the operator, exactly as written.
inline constexpr std::string_view modelFileNotFoundMessage = "datファイルが見つかりませんでした。";
inline constexpr std::string_view modelFileParseFailedMessage = "datファイルの解析に失敗しました。";
inline constexpr std::string_view modelFileWrongMessage = "datファイルが違います。";

// Where the loader's messages go: message boxes in the window, stderr in the
// command line.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(std::string_view text) = 0;
};

// Field n (from 0) of a comma-separated line. A double quote switches quoting
// and is dropped; a comma inside quotes belongs to the field. Returns 1 with
// the field in `out` (at most 255 bytes kept), or 0 when the line is empty or
// has no field n; a field behind a trailing comma counts as missing.
std::int32_t extractField(std::string_view line, std::int32_t n, std::string& out);

// Appends one model when the line has fifteen fields and the table has room.
std::int32_t parseModelLine(std::string_view line, ModelTable& table);

// Reads a model file and appends its models; 1 when at least one was taken.
std::int32_t loadModelFile(const std::string& path, ModelTable& table, MessageSink& messages);

// The default model file for an executable: same directory, same file name
// without its last extension, then ".dat".
std::string defaultModelFilePath(const std::string& executablePath);

// Loads the models for a start with this command-line text. Returns 0 when
// the dialog must end at once (a model file named on the command line
// failed), else 1. `executablePath` is the program whose name the default
// file follows; nothing when it cannot be had.
std::int32_t loadModels(std::string_view commandLine, ModelTable& table, MessageSink& messages,
                        const std::optional<std::string>& executablePath);

}  // namespace tamro
