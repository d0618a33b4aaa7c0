#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "models/model_table.h"
#include "platform/ipv4.h"
#include "protocol/device_table.h"
#include "ui/dialog_template.h"
#include "ui/form.h"

namespace tamro::cli {

// A control's value as the operator reads it; "-" for nothing.
std::string shownValue(const Form& form, ControlId id);

// The current-setting text on the same row as `item`, if it has one.
const TemplateItem* currentTextFor(const TemplateItem& item);

// One row as `show` prints it: "label: current -> new", or "label: new"
// for a row that shows no current setting.
std::string rowText(const TemplateItem& item, const std::optional<std::string>& current,
                    const std::string& value);

// The rows whose value the write would change on `device`, as rowText
// prints them: what the operator, the model or an earlier choice changed.
// Off the subnet only the address goes out, so only it is compared.
std::vector<std::string> formChanges(const Form& form, const DeviceRecord& device);

// One setting the write would change, in the settings file's words.
struct SettingChange {
    std::string_view key;               // the settings file's key
    std::optional<std::string> before;  // nothing: a code no list entry shows
    std::optional<std::string> after;
};

// What the write would change on `device`, by the settings file's keys: what
// the form would send for each value against what the device reported; a
// value it reported in a code no list shows always counts. The hidden pin
// lists count as "cp1".."cp3", and a chosen `model` that sets the variant
// byte, which no search reports, as "model". Off the subnet, only the
// address, and always.
std::vector<SettingChange> settingChanges(const Form& form, const DeviceRecord& device,
                                          const ModelRecord* model = nullptr);

// True only when the write would leave `device` as it reported itself:
// read, and neither a setting nor a row the form shows differs.
bool writeChangesNothing(const Form& form, const DeviceRecord& device,
                         const ModelRecord* model = nullptr);

// The changes under a confirmation, one line each after `indent`.
void printChanges(const std::vector<std::string>& changes, std::ostream& out,
                  std::string_view indent = "  ");

// The changes, then the question; with `yes` neither is shown.
bool confirmChanges(const std::vector<std::string>& changes, bool yes);

// The mask a device keeps when this write turns its DHCP off, when it is
// not the adapter's (a DHCP device keeps the class mask it had); nothing
// otherwise, or when the mask was given (`maskGiven`).
std::optional<Ipv4> keptMask(const Form& form, const DeviceRecord& device,
                             const Ipv4& adapterMask, bool maskGiven);

// The warning for a kept mask; `howToSet` names what sets the adapter's.
std::string keptMaskWarning(const Ipv4& kept, const Ipv4& adapterMask, std::string_view howToSet);

}  // namespace tamro::cli
