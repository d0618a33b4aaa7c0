#pragma once

#include <optional>
#include <string>

#include "dialog_session.h"
#include "protocol/address_conflicts.h"
#include "settings_file.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

// The selected device's settings as `export` saves them: its MAC, the model
// the form has chosen, this Tamro's version and every setting the form
// holds (without ip, mask and gateway when `withoutAddress`). Nothing, with
// the reason on stderr, for a device whose settings were not read (off the
// subnet, or sharing its address).
std::optional<SettingsDocument> selectedSettings(const SetupDialog& dialog,
                                                 const DeviceRecord& device, bool withoutAddress);

// `export --all -o DIR`: one file DIR/<MAC>.json per listed device whose
// settings were read, on the chosen adapter or (`choice.adapter` "all") on
// every one. 0 when every listed device was saved; 1 when one could not
// be (the others still are), when its MAC was saved from another device
// (the first keeps the file), or when no device was listed.
int runExportAll(const DeviceChoice& choice, const std::string& directory, bool withoutAddress);

}  // namespace tamro::cli
