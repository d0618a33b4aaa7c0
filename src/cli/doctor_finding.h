#pragma once

#include <string>
#include <string_view>

namespace tamro::cli {

// What a finding that is no problem stands for: something checked and in
// order ([ok]), something not checked at all ([skipped]: never reported as
// in order), something only worth knowing ([info]), or something checked
// only in part, whose outcome hangs on what the check cannot tell ([unsure]).
enum class Standing { checked, skipped, info, unsure };

// One thing the doctor noticed: what, why it matters, the command that fixes it.
struct Finding {
    bool problem = true;  // false: see `standing`
    std::string what;
    std::string why;
    std::string fix;
    Standing standing = Standing::checked;
};

// "[problem] ", "[ok] ", "[skipped] ", "[info] " or "[unsure] ".
std::string_view findingTag(const Finding& finding);

}  // namespace tamro::cli
