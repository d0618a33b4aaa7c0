#pragma once

namespace tamro::cli {

// OK when `yes`, or when a person at the terminal says so.
bool confirmAtTerminal(bool yes);

}  // namespace tamro::cli
