#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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
