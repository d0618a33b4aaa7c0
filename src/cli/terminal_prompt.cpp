#include "terminal_prompt.h"

#include <iostream>
#include <string>

#include "platform/terminal.h"

namespace tamro::cli {

bool confirmAtTerminal(bool yes) {
    if (yes) return true;
    if (!standardInputIsTerminal()) {
        std::cerr << "tamroctl: not confirmed (give --yes to write without asking)\n";
        return false;
    }
    std::cerr << "Write? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace tamro::cli
