#include "form_changes.h"

#include <iostream>

#include "platform/text.h"
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

std::vector<std::string> formChanges(const Form& form, const DeviceRecord& device) {
    std::vector<std::string> changes;
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
        const std::string value = shownValue(form, item.id);
        if (current && *current != value) changes.push_back(rowText(item, current, value));
    }
    return changes;
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
