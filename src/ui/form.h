#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "ui/dialog_template.h"

namespace tamro {

// Receives the handler the event map names for a user's action. The dialog
// logic implements it; the handler runs before the user action returns.
class FormEvents {
public:
    virtual void handle(Handler handler, ControlId source) = 0;

protected:
    ~FormEvents() = default;
};

// What became of a user's action.
enum class UserInput {
    accepted,  // taken as given
    altered,   // taken in part: keys refused, a field clamped
    ignored,   // the control takes no input now (disabled, hidden, wrong kind,
               // no such entry): nothing changed, no handler ran
};

// The dialog's 45 numbered controls as plain state. What a control holds
// depends on its kind:
//   combo, list  items and a selection (-1 for none); text() is the selected
//                item's text
//   edit         text and a length limit (0: none)
//   address      four fields, each blank (-1) or 0-255; text() is the dotted
//                form with blank fields as 0, so an empty control reads
//                "0.0.0.0"
//   checkBox     check mark and caption
//   text, pushButton  text
// Every control has enabled and visible flags.
//
// Program changes (set..., addItem, ...) never run a handler, as a program's
// change raises no notification on the platform. User actions (user...)
// change the state and then dispatch through the event map, and only while
// the control is enabled and visible.
class Form {
public:
    // Every control as the template creates it: enabled, visible, its
    // template text, no items, no selection, unmarked, blank, no limit.
    Form();

    // Where user actions are dispatched; nullptr drops them after the change.
    void setEvents(FormEvents* events) { events_ = events; }

    // --- reading ---
    bool enabled(ControlId id) const;
    bool visible(ControlId id) const;
    // Enabled and visible: the only state in which a user reaches it.
    bool takesUserInput(ControlId id) const;
    std::string text(ControlId id) const;
    const std::vector<std::string>& items(ControlId id) const;
    std::int32_t itemCount(ControlId id) const;
    std::int32_t selection(ControlId id) const;
    bool checked(ControlId id) const;
    AddressFields address(ControlId id) const;
    std::int32_t textLimit(ControlId id) const;

    // --- program changes: never dispatch ---
    void setEnabled(ControlId id, bool enabled);
    void setVisible(ControlId id, bool visible);
    // Any text, unfiltered and beyond the edit's limit, as the platform
    // takes a program's text. An address control takes a dotted text (see
    // form.cpp); combos and lists have no text of their own and ignore it.
    void setText(ControlId id, std::string_view text);
    // Appends; the new position, or -1 when the control holds no items.
    std::int32_t addItem(ControlId id, std::string_view text);
    // Removes one entry; the selection follows its entry, or goes when its
    // entry goes.
    void removeItem(ControlId id, std::int32_t position);
    // Removes every entry and the selection.
    void clearItems(ControlId id);
    // A position outside the list leaves no selection.
    void setSelection(ControlId id, std::int32_t position);
    void setChecked(ControlId id, bool checked);
    // Fields outside 0-255 are normalised: below 0 blank, above 255 255.
    void setAddress(ControlId id, const AddressFields& fields);
    void setAddress(ControlId id, const Ipv4& address);
    void clearAddress(ControlId id);
    // Caps what a user can type (0: no limit); a longer text stays as it is.
    void setTextLimit(ControlId id, std::int32_t maxLength);

    // --- user actions: dispatch through the event map ---
    // A push button is pressed, or a check box toggled and then reported.
    UserInput userClick(ControlId id);
    // An entry of a combo or list is picked; picking the selected entry again
    // reports a change as well.
    UserInput userSelect(ControlId id, std::int32_t position);
    // Keys typed at the end of an edit's text.
    UserInput userType(ControlId id, std::string_view keys);
    // Select all, delete, type `text`: how an operator replaces an entry.
    UserInput userReplaceText(ControlId id, std::string_view text);
    // One field of an address control typed: -1 blanks it.
    UserInput userSetAddressField(ControlId id, std::int32_t field, std::int32_t value);
    // All four fields, left to right.
    UserInput userSetAddress(ControlId id, const AddressFields& fields);

private:
    struct ControlState {
        ControlKind kind = ControlKind::text;
        bool enabled = true;
        bool visible = true;
        std::string text;
        std::vector<std::string> items;
        std::int32_t selection = -1;
        bool checked = false;
        AddressFields address;
        std::int32_t textLimit = 0;
    };

    ControlState* find(ControlId id);
    const ControlState* find(ControlId id) const;
    ControlState* findForUser(ControlId id, ControlKind kind);
    void dispatch(ControlId id, Notification notification);

    std::array<ControlState, numberedControlCount> controls_;
    FormEvents* events_ = nullptr;
};

// --- operations on the whole form -------------------------------------------

// Switches every settings control to `enable` and, either way, empties them
// (address fields blank, edits "", lists without a selection) and the
// current-setting texts. The check mark of dhcpCheck, list contents and the
// controls outside these groups stay as they are.
void resetSettingControls(Form& form, bool enable);

// Appends the fixed lists' texts to their controls, in fill order.
void fillFixedLists(Form& form);

// Sets the three edits' length limits.
void applyInputLimits(Form& form);

// Hides the control-pin group.
void hideControlPinGroup(Form& form);

// Everything a write reads from the controls.
WriteControlValues readWriteControls(const Form& form);

}  // namespace tamro
