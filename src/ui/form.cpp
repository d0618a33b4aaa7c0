#include "ui/form.h"

#include <algorithm>
#include <cstddef>

namespace tamro {

namespace {

constexpr std::int32_t maxFieldValue = 255;

bool holdsItems(ControlKind kind) { return kind == ControlKind::combo || kind == ControlKind::list; }

bool holdsOwnText(ControlKind kind) {
    return kind == ControlKind::edit || kind == ControlKind::text ||
           kind == ControlKind::pushButton || kind == ControlKind::checkBox;
}

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// What the address control makes of a value: blank below 0, and above the
// field's range it warns and puts the top of the range in.
std::int32_t normaliseField(std::int32_t value) {
    if (value < 0) return -1;
    return std::min(value, maxFieldValue);
}

// A dotted text, field by field: leading digits give the value (clamped to
// 255), a field without digits or a missing field stays blank, anything after
// the fourth field is dropped. A strict dotted address therefore comes
// through unchanged and "" blanks all four fields.
AddressFields parseAddressText(std::string_view text) {
    AddressFields result;
    std::size_t field = 0;
    std::size_t pos = 0;
    while (field < 4 && pos <= text.size()) {
        const std::size_t dot = std::min(text.find('.', pos), text.size());
        const std::string_view part = text.substr(pos, dot - pos);
        std::int32_t value = -1;
        for (const char c : part) {
            if (!isAsciiDigit(c)) break;
            value = std::min((value < 0 ? 0 : value) * 10 + (c - '0'), 1000);
        }
        result.fields[field] = normaliseField(value);
        ++field;
        pos = dot + 1;
    }
    return result;
}

const std::vector<std::string> noItems;

}  // namespace

Form::Form() {
    const auto ids = numberedControls();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const TemplateItem* item = findControl(ids[i]);
        ControlState& state = controls_[i];
        state.kind = item->kind;
        if (holdsOwnText(item->kind)) state.text = std::string(item->text);
    }
}

Form::ControlState* Form::find(ControlId id) {
    const std::int32_t index = numberedIndex(id);
    return index < 0 ? nullptr : &controls_[static_cast<std::size_t>(index)];
}

const Form::ControlState* Form::find(ControlId id) const {
    const std::int32_t index = numberedIndex(id);
    return index < 0 ? nullptr : &controls_[static_cast<std::size_t>(index)];
}

Form::ControlState* Form::findForUser(ControlId id, ControlKind kind) {
    ControlState* state = find(id);
    if (state == nullptr || state->kind != kind || !state->enabled || !state->visible) {
        return nullptr;
    }
    return state;
}

void Form::dispatch(ControlId id, Notification notification) {
    if (events_ == nullptr) return;
    if (const auto handler = handlerFor(id, notification)) events_->handle(*handler, id);
}

// --- reading ---

bool Form::enabled(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr && state->enabled;
}

bool Form::visible(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr && state->visible;
}

bool Form::takesUserInput(ControlId id) const { return enabled(id) && visible(id); }

std::string Form::text(ControlId id) const {
    const ControlState* state = find(id);
    if (state == nullptr) return {};
    if (holdsItems(state->kind)) {
        if (state->selection < 0) return {};
        return state->items[static_cast<std::size_t>(state->selection)];
    }
    if (state->kind == ControlKind::address) return toDottedText(state->address.value());
    return state->text;
}

const std::vector<std::string>& Form::items(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->items : noItems;
}

std::int32_t Form::itemCount(ControlId id) const {
    return static_cast<std::int32_t>(items(id).size());
}

std::int32_t Form::selection(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->selection : -1;
}

bool Form::checked(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr && state->checked;
}

AddressFields Form::address(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->address : AddressFields{};
}

std::int32_t Form::textLimit(ControlId id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->textLimit : 0;
}

// --- program changes ---

void Form::setEnabled(ControlId id, bool enabled) {
    if (ControlState* state = find(id)) state->enabled = enabled;
}

void Form::setVisible(ControlId id, bool visible) {
    if (ControlState* state = find(id)) state->visible = visible;
}

void Form::setText(ControlId id, std::string_view text) {
    ControlState* state = find(id);
    if (state == nullptr) return;
    // The platform filters only keystrokes: a program's text passes both the
    // digits-only style and the length limit of an edit.
    if (holdsOwnText(state->kind)) {
        state->text = std::string(text);
    } else if (state->kind == ControlKind::address) {
        state->address = parseAddressText(text);
    }
}

std::int32_t Form::addItem(ControlId id, std::string_view text) {
    ControlState* state = find(id);
    if (state == nullptr || !holdsItems(state->kind)) return -1;
    state->items.emplace_back(text);
    return static_cast<std::int32_t>(state->items.size()) - 1;
}

void Form::removeItem(ControlId id, std::int32_t position) {
    ControlState* state = find(id);
    if (state == nullptr || !holdsItems(state->kind)) return;
    if (position < 0 || position >= static_cast<std::int32_t>(state->items.size())) return;
    state->items.erase(state->items.begin() + position);
    if (state->selection == position) {
        state->selection = -1;
    } else if (state->selection > position) {
        --state->selection;
    }
}

void Form::clearItems(ControlId id) {
    ControlState* state = find(id);
    if (state == nullptr || !holdsItems(state->kind)) return;
    state->items.clear();
    state->selection = -1;
}

void Form::setSelection(ControlId id, std::int32_t position) {
    ControlState* state = find(id);
    if (state == nullptr || !holdsItems(state->kind)) return;
    const bool inList = position >= 0 && position < static_cast<std::int32_t>(state->items.size());
    state->selection = inList ? position : -1;
}

void Form::setChecked(ControlId id, bool checked) {
    ControlState* state = find(id);
    if (state != nullptr && state->kind == ControlKind::checkBox) state->checked = checked;
}

void Form::setAddress(ControlId id, const AddressFields& fields) {
    ControlState* state = find(id);
    if (state == nullptr || state->kind != ControlKind::address) return;
    for (std::size_t i = 0; i < 4; ++i) state->address.fields[i] = normaliseField(fields.fields[i]);
}

void Form::setAddress(ControlId id, const Ipv4& address) { setAddress(id, AddressFields::of(address)); }

void Form::clearAddress(ControlId id) { setAddress(id, AddressFields{}); }

void Form::setTextLimit(ControlId id, std::int32_t maxLength) {
    ControlState* state = find(id);
    if (state != nullptr && state->kind == ControlKind::edit) state->textLimit = std::max(maxLength, 0);
}

// --- user actions ---

UserInput Form::userClick(ControlId id) {
    ControlState* state = find(id);
    if (state == nullptr || !state->enabled || !state->visible) return UserInput::ignored;
    if (state->kind == ControlKind::checkBox) {
        // An automatic check box toggles before it reports the click.
        state->checked = !state->checked;
    } else if (state->kind != ControlKind::pushButton) {
        return UserInput::ignored;
    }
    dispatch(id, Notification::click);
    return UserInput::accepted;
}

UserInput Form::userSelect(ControlId id, std::int32_t position) {
    ControlState* state = find(id);
    if (state == nullptr || !holdsItems(state->kind) || !state->enabled || !state->visible) {
        return UserInput::ignored;
    }
    if (position < 0 || position >= static_cast<std::int32_t>(state->items.size())) {
        return UserInput::ignored;
    }
    state->selection = position;
    dispatch(id, Notification::selectionChange);
    return UserInput::accepted;
}

// Each key is judged on its own, as the edit judges keystrokes: a key other
// than an ASCII digit is refused (full-width digits included; every byte of
// a multi-byte character is refused with it), and a digit is refused once
// the text has reached the limit. Refused keys change nothing; the keys
// after them are still typed.
UserInput Form::userType(ControlId id, std::string_view keys) {
    ControlState* state = findForUser(id, ControlKind::edit);
    if (state == nullptr) return UserInput::ignored;
    const std::size_t before = state->text.size();
    bool refused = false;
    for (const char key : keys) {
        const bool full = state->textLimit > 0 &&
                          state->text.size() >= static_cast<std::size_t>(state->textLimit);
        if (!isAsciiDigit(key) || full) {
            refused = true;
            continue;
        }
        state->text.push_back(key);
    }
    if (state->text.size() != before) dispatch(id, Notification::textChange);
    return refused ? UserInput::altered : UserInput::accepted;
}

UserInput Form::userReplaceText(ControlId id, std::string_view text) {
    ControlState* state = findForUser(id, ControlKind::edit);
    if (state == nullptr) return UserInput::ignored;
    if (!state->text.empty()) {
        state->text.clear();
        dispatch(id, Notification::textChange);
    }
    return userType(id, text);
}

UserInput Form::userSetAddressField(ControlId id, std::int32_t field, std::int32_t value) {
    ControlState* state = findForUser(id, ControlKind::address);
    if (state == nullptr || field < 0 || field > 3) return UserInput::ignored;
    const std::int32_t stored = normaliseField(value);
    state->address.fields[static_cast<std::size_t>(field)] = stored;
    dispatch(id, Notification::fieldChange);
    return (value > maxFieldValue) ? UserInput::altered : UserInput::accepted;
}

UserInput Form::userSetAddress(ControlId id, const AddressFields& fields) {
    if (findForUser(id, ControlKind::address) == nullptr) return UserInput::ignored;
    UserInput result = UserInput::accepted;
    for (std::int32_t i = 0; i < 4; ++i) {
        if (userSetAddressField(id, i, fields.fields[static_cast<std::size_t>(i)]) ==
            UserInput::altered) {
            result = UserInput::altered;
        }
    }
    return result;
}

// --- operations on the whole form ---

void resetSettingControls(Form& form, bool enable) {
    for (const ControlId id : settingsControls) form.setEnabled(id, enable);
    for (const ControlId id : settingsControls) {
        switch (controlKind(id)) {
            case ControlKind::address: form.clearAddress(id); break;
            case ControlKind::edit: form.setText(id, ""); break;
            case ControlKind::combo: form.setSelection(id, -1); break;
            default: break;  // the check box keeps its mark, buttons their captions
        }
    }
    for (const ControlId id : currentSettingTexts) form.setText(id, "");
}

void fillFixedLists(Form& form) {
    for (const FixedList& list : fixedLists) {
        for (const std::string_view text : list.texts) form.addItem(list.control, text);
    }
}

void applyInputLimits(Form& form) {
    for (const InputLimit& limit : inputLimits) form.setTextLimit(limit.control, limit.maxLength);
}

void hideControlPinGroup(Form& form) {
    for (const ControlId id : controlPinGroup) form.setVisible(id, false);
}

WriteControlValues readWriteControls(const Form& form) {
    WriteControlValues values;
    values.dhcpChecked = form.checked(ControlId::dhcpCheck);
    values.ipAddress = form.address(ControlId::ipAddressCtrl);
    values.netmask = form.address(ControlId::netmaskCtrl);
    values.gateway = form.address(ControlId::gatewayCtrl);
    values.remoteIp = form.address(ControlId::remoteIpCtrl);
    values.portText = form.text(ControlId::portEdit);
    values.remotePortText = form.text(ControlId::remotePortEdit);
    values.baudText = form.text(ControlId::baudCombo);
    values.baudPosition = form.selection(ControlId::baudCombo);
    values.dataBitsPosition = form.selection(ControlId::dataBitsCombo);
    values.stopBitsPosition = form.selection(ControlId::stopBitsCombo);
    values.parityPosition = form.selection(ControlId::parityCombo);
    values.flowPosition = form.selection(ControlId::flowCombo);
    values.protocolPosition = form.selection(ControlId::protocolCombo);
    values.connectPosition = form.selection(ControlId::connectCombo);
    values.cp1Position = form.selection(ControlId::cp1Combo);
    values.cp2Position = form.selection(ControlId::cp2Combo);
    values.cp3Position = form.selection(ControlId::cp3Combo);
    values.packPosition = form.selection(ControlId::packCombo);
    return values;
}

}  // namespace tamro
