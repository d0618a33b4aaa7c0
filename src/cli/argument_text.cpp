#include "argument_text.h"

#include <algorithm>
#include <cstddef>

namespace tamro::cli {

std::optional<std::array<std::int32_t, 4>> readDottedFields(std::string_view text, bool blanks,
                                                            std::string& problem) {
    const std::string quoted = std::string(text) + ": ";
    const auto malformed = [&] {
        problem = quoted + "give four numbers separated by dots, such as 10.77.0.50";
        return std::nullopt;
    };
    std::array<std::int32_t, 4> fields{};
    std::size_t field = 0;
    std::size_t start = 0;
    bool tooLarge = false;
    while (true) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, dot - start);
        if (field > 3) return malformed();
        if (part.empty() && !blanks) return malformed();
        std::int32_t value = part.empty() ? -1 : 0;
        for (const char c : part) {
            if (c < '0' || c > '9') return malformed();
            // Stop counting once it is too large; the digits still get checked.
            if (value <= 255) value = value * 10 + (c - '0');
        }
        if (part.size() > 3 || value > 255) tooLarge = true;
        fields[field++] = value;
        if (dot == text.size()) break;
        start = dot + 1;
    }
    if (field != 4) return malformed();
    if (tooLarge) {
        problem = quoted + "each field is 0 to 255";
        return std::nullopt;
    }
    return fields;
}

std::string dottedProblem(std::string_view text) {
    std::string problem;
    readDottedFields(text, false, problem);
    return problem;
}

}  // namespace tamro::cli
