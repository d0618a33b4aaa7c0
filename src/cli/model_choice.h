#pragma once

#include <string>

#include "protocol/device_table.h"
#include "ui/dialog_template.h"
#include "ui/form.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

// Chooses the model named (name or list position) as a user would. 0, or 2
// with the reason on stderr.
int chooseModel(Form& form, const std::string& model);

// "\"ポート番号\" (--port)": how a refusal names a control, by the
// window's label and the flag that sets it; never by its internal name.
std::string controlTitle(ControlId id);

// Why the dialog has `id` switched off just now, in words: the reason its
// rules recorded, with the chosen model's name and values where they count.
std::string disabledReason(const SetupDialog& dialog, ControlId id);

}  // namespace tamro::cli
