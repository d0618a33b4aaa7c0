// parseAddressMap on arbitrary bytes: a refusal names the file, and a map
// read gives each MAC and each address once, rows in line order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "settings_file.h"

using namespace tamro;
using namespace tamro::cli;
using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string problem;
    const auto rows = parseAddressMap(text, "m", problem);
    if (!rows) {
        check(problem.rfind("m:", 0) == 0, "a refusal names the file");
        return 0;
    }
    check(size <= maxSettingsFileBytes, "nothing over the limit is read");
    for (std::size_t a = 0; a < rows->size(); ++a) {
        const cli::AddressRow& row = (*rows)[a];
        check(row.line >= 1, "a row has its line");
        if (a > 0) check(row.line > (*rows)[a - 1].line, "rows keep their lines' order");
        for (std::size_t b = 0; b < a; ++b) {
            check((*rows)[b].mac != row.mac, "no MAC is given twice");
            check((*rows)[b].ip != row.ip, "no address is given twice");
        }
    }
    return 0;
}
