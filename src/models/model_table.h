#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tamro {

inline constexpr std::int32_t maxModels = 256;
inline constexpr std::size_t maxModelNameLength = 254;

// One model line of the model file. List positions refer to the dialog's
// fixed lists; -1 in most columns means "no constraint".
struct ModelRecord {
    std::string name;  // the file's bytes (code page 932 or UTF-8), at most 254
    std::int32_t fixedPort = 0;
    std::int32_t serialEditable = 0;
    std::int32_t maxBaudIndex = 0;
    std::int32_t defaultBaudIndex = 0;
    std::int32_t defaultDataBitsIndex = 0;
    std::int32_t defaultParityIndex = 0;
    std::int32_t defaultStopBitsIndex = 0;
    std::int32_t defaultFlowIndex = 0;
    std::int32_t cpPinsEditable = 0;
    std::int32_t defaultCp1Function = 0;
    std::int32_t defaultCp2Function = 0;
    std::int32_t defaultCp3Function = 0;
    std::int32_t clientMode = 0;
    std::int32_t modelVariant = 0;

    friend bool operator==(const ModelRecord&, const ModelRecord&) = default;
};

struct ModelTable {
    std::array<ModelRecord, maxModels> models{};
    std::int32_t modelCount = 0;
};

}  // namespace tamro
