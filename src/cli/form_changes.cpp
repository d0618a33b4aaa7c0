#include "form_changes.h"

#include <algorithm>
#include <array>
#include <iostream>

#include "platform/text.h"
#include "protocol/vocabulary.h"
#include "setting_flags.h"
#include "terminal_prompt.h"

namespace tamro::cli {

namespace {

// What the device holds for a control of the address box, which has no
// current-setting text of its own.
std::optional<std::string> deviceValue(ControlId id, const DeviceRecord& device) {
    switch (id) {
        case ControlId::dhcpCheck: return device.dhcp == 1 ? "on" : "off";
        case ControlId::ipAddressCtrl: return toDottedText(device.ipAddress);
        case ControlId::netmaskCtrl: return toDottedText(device.netmask);
        case ControlId::gatewayCtrl: return toDottedText(device.gateway);
        default: return std::nullopt;
    }
}

bool isFormRow(const TemplateItem& item) {
    return item.numbered() && item.kind != ControlKind::pushButton &&
           (item.area == Area::addressBox || item.area == Area::newSetting);
}

}  // namespace

std::string shownValue(const Form& form, ControlId id) {
    std::string text;
    switch (controlKind(id)) {
        case ControlKind::checkBox: return form.checked(id) ? "on" : "off";
        case ControlKind::address: {
            const AddressFields fields = form.address(id);
            if (fields.filledCount() == 0) return "-";
            for (std::size_t i = 0; i < 4; ++i) {
                if (i > 0) text += '.';
                if (fields.fields[i] >= 0) text += std::to_string(fields.fields[i]);
            }
            return text;
        }
        default: text = utf8OrAscii(form.text(id)); break;
    }
    return text.empty() ? "-" : text;
}

const TemplateItem* currentTextFor(const TemplateItem& item) {
    for (const TemplateItem& other : templateItems()) {
        if (other.numbered() && other.area == Area::current && other.label == item.label) {
            return &other;
        }
    }
    return nullptr;
}

std::string rowText(const TemplateItem& item, const std::optional<std::string>& current,
                    const std::string& value) {
    std::string text(item.label);
    if (!text.ends_with(":")) text += ':';
    text += ' ';
    if (current) text += *current + " -> ";
    return text + value;
}

namespace {

// A row the write would change: the control, what the device holds and
// what the form holds, as the operator reads both.
struct ChangedRow {
    const TemplateItem* item;
    std::string current;
    std::string value;
};

std::vector<ChangedRow> changedRows(const Form& form, const DeviceRecord& device) {
    std::vector<ChangedRow> rows;
    const bool configured = device.configured == 1;
    for (const TemplateItem& item : templateItems()) {
        if (!isFormRow(item) || !form.visible(item.id)) continue;
        std::optional<std::string> current;
        if (!configured) {
            if (item.id != ControlId::ipAddressCtrl) continue;
            current = toDottedText(device.peer.address);
        } else if (const TemplateItem* text = currentTextFor(item)) {
            const std::string now = form.text(text->id);
            current = now.empty() ? "-" : utf8OrAscii(now);
        } else {
            current = deviceValue(item.id, device);
        }
        std::string value = shownValue(form, item.id);
        if (current && *current != value) rows.push_back({&item, *current, std::move(value)});
    }
    return rows;
}

}  // namespace

std::vector<std::string> formChanges(const Form& form, const DeviceRecord& device) {
    std::vector<std::string> changes;
    for (const ChangedRow& row : changedRows(form, device)) {
        changes.push_back(rowText(*row.item, row.current, row.value));
    }
    return changes;
}

std::vector<SettingChange> settingChanges(const Form& form, const DeviceRecord& device,
                                          const ModelRecord* model) {
    std::vector<SettingChange> changes;
    const std::vector<ChangedRow> rows = changedRows(form, device);
    if (device.configured != 1) {
        // The assignment always moves the device: it answers off the subnet.
        changes.push_back({"ip", toDottedText(device.peer.address),
                           shownValue(form, ControlId::ipAddressCtrl)});
        return changes;
    }
    for (const SettingFlag& flag : settingFlags) {
        const std::optional<std::string> sent = settingValue(form, flag);
        const std::optional<std::string> reported = reportedValue(device, flag);
        // A code no list entry shows cannot be told from what goes out.
        if (!reported || (sent && reported != sent)) {
            changes.push_back({flag.key, reported, sent});
            continue;
        }
        if (sent) continue;
        // A control switched off (or left blank) still goes out as the form
        // holds it: compare it as the operator reads it.
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const ChangedRow& each) {
            return each.item->id == flag.control;
        });
        if (row != rows.end()) changes.push_back({flag.key, row->current, row->value});
    }
    // The pins are never shown, yet a model's defaults reach them; a list
    // without a usable selection keeps the device's code.
    static constexpr std::array<std::string_view, pinCount> pinKeys = {"cp1", "cp2", "cp3"};
    static constexpr std::array<ControlId, pinCount> pinCombos = {
        ControlId::cp1Combo, ControlId::cp2Combo, ControlId::cp3Combo};
    const std::array<std::int32_t, pinCount> reported = {device.cp1Function, device.cp2Function,
                                                         device.cp3Function};
    for (std::size_t pin = 0; pin < pinKeys.size(); ++pin) {
        const std::int32_t code =
            pinCodeAt(static_cast<std::int32_t>(pin), form.selection(pinCombos[pin]));
        if (code != -1 && code != reported[pin]) {
            changes.push_back({pinKeys[pin], std::to_string(reported[pin]), std::to_string(code)});
        }
    }
    // The variant byte is written but never read back into the list.
    if (model != nullptr && (model->modelVariant == 1 || model->modelVariant == 2)) {
        changes.push_back({"model", std::nullopt, utf8OrAscii(form.text(ControlId::modelCombo))});
    }
    return changes;
}

bool writeChangesNothing(const Form& form, const DeviceRecord& device, const ModelRecord* model) {
    return device.configured == 1 && settingChanges(form, device, model).empty() &&
           changedRows(form, device).empty();
}

void printChanges(const std::vector<std::string>& changes, std::ostream& out,
                  std::string_view indent) {
    if (changes.empty()) {
        out << indent << "(no changes: the settings go out as the device has them)\n";
        return;
    }
    for (const std::string& change : changes) out << indent << change << '\n';
}

bool confirmChanges(const std::vector<std::string>& changes, bool yes) {
    if (!yes) printChanges(changes, std::cerr);
    return confirmAtTerminal(yes);
}

std::optional<Ipv4> keptMask(const Form& form, const DeviceRecord& device,
                             const Ipv4& adapterMask, bool maskGiven) {
    if (maskGiven || device.configured != 1 || device.dhcp != 1) return std::nullopt;
    if (form.checked(ControlId::dhcpCheck)) return std::nullopt;
    const Ipv4 kept = form.address(ControlId::netmaskCtrl).value();
    if (kept == adapterMask) return std::nullopt;
    return kept;
}

std::string keptMaskWarning(const Ipv4& kept, const Ipv4& adapterMask, std::string_view howToSet) {
    return "DHCP goes off and the device keeps the mask " + toDottedText(kept) +
           ", not the adapter's " + toDottedText(adapterMask) + " (set it with " +
           std::string(howToSet) + ")";
}

}  // namespace tamro::cli
