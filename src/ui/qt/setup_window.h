#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "ui/dialog_template.h"
#include "ui/form.h"

class QKeyEvent;

namespace tamro::qt {

// The setup dialog's window, built item by item from the template and
// showing a Form. The Form is the truth: the user's actions go to its user
// methods (which run the event map's handlers), and afterwards the widgets
// are set from it again. Setting them never reports a user action, so a
// program's change of a selection runs no handler.
class SetupWindow : public QDialog {
    Q_OBJECT

public:
    // What ended the dialog: Enter, or Escape and the close box.
    static constexpr int okResult = 1;
    static constexpr int cancelResult = 2;

    explicit SetupWindow(Form& form, QWidget* parent = nullptr);

    Form& form() { return form_; }

    // Makes every widget show the Form's state: enabled, visible, text,
    // items, selection, check mark, address fields.
    void mirrorForm();

    // The widget of a numbered control, or of any item by template position.
    QWidget* controlWidget(ControlId id) const;
    QWidget* itemWidget(std::size_t templateIndex) const;

    // While held (a write is running), a request to end the dialog waits
    // and is carried out on release.
    void holdEnd(bool held);

    void done(int result) override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* createItem(const TemplateItem& item);
    void connectUserActions(ControlId id, QWidget* widget);
    void mirrorControl(ControlId id, QWidget* widget);
    void userActed();

    Form& form_;
    std::array<QWidget*, templateItemCount> items_{};
    std::array<QWidget*, numberedControlCount> controls_{};
    bool endHeld_ = false;
    std::optional<int> pendingEnd_;
};

}  // namespace tamro::qt
