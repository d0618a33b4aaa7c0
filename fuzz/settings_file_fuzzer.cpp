// parseSettings on arbitrary bytes: a refusal always names the file, a
// document read holds only values its flags take, and what export would
// write from it reads back the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/ipv4.h"
#include "settings_file.h"

using namespace tamro;
using namespace tamro::cli;
using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string problem;
    const auto document = parseSettings(text, "f", problem);
    if (!document) {
        check(problem.rfind("f: ", 0) == 0, "a refusal names the file");
        return 0;
    }
    check(size <= maxSettingsFileBytes, "nothing over the limit is read");
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        const auto& value = document->values[i];
        if (!value) continue;
        const SettingFlag& flag = settingFlags[i];
        check(settingValueProblem(flag, *value).empty(), "every value is one its flag takes");
        if (flag.action == Action::address) {
            check(value->empty() || parseDottedText(*value).has_value(),
                  "an address is whole or blank, never with a blank field");
        }
        if (flag.action == Action::type) check(!value->empty(), "a number is never empty");
    }
    std::string again;
    const auto reread = parseSettings(settingsJson(*document).dump(2), "g", again);
    check(reread.has_value(), "what export writes reads back");
    check(reread->mac == document->mac && reread->model == document->model &&
              reread->version == document->version,
          "the identity reads back unchanged");
    for (std::size_t i = 0; i < settingFlags.size(); ++i) {
        check(reread->values[i].has_value() == document->values[i].has_value(),
              "every value given reads back");
    }
    return 0;
}
