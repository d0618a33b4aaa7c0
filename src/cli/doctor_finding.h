#pragma once

#include <string>

namespace tamro::cli {

// One thing the doctor noticed: what, why it matters, the command that fixes it.
struct Finding {
    bool problem = true;  // false: a note that something is in order
    std::string what;
    std::string why;
    std::string fix;
};

}  // namespace tamro::cli
