#pragma once

namespace tamro::cli {

// The exit status of a command refused before anything was sent: a wrong
// argument, a control the dialog has off, a model that cannot be chosen.
inline constexpr int usageErrorStatus = 2;

}  // namespace tamro::cli
