#include "ui/qt/setup_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "platform/text.h"
#include "ui/qt/address_edit.h"
#include "ui/qt/dialog_geometry.h"
#include "ui/qt/list_box.h"
#include "ui/qt/window_look.h"

namespace tamro::qt {

namespace {

// Form texts are UTF-8: the dialog converts model names from the file's code
// page as it lists them.
QString displayText(std::string_view bytes) {
    return QString::fromStdString(utf8OrAscii(bytes));
}

QString utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool sameItems(const QComboBox& combo, const std::vector<std::string>& items) {
    if (combo.count() != static_cast<int>(items.size())) return false;
    for (int i = 0; i < combo.count(); ++i) {
        if (combo.itemText(i) != displayText(items[static_cast<std::size_t>(i)])) return false;
    }
    return true;
}

bool sameItems(const QListWidget& list, const std::vector<std::string>& items) {
    if (list.count() != static_cast<int>(items.size())) return false;
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->text() != displayText(items[static_cast<std::size_t>(i)])) return false;
    }
    return true;
}

AddressEdit::Fields toWidgetFields(const AddressFields& fields) {
    AddressEdit::Fields result{};
    std::copy(fields.fields.begin(), fields.fields.end(), result.begin());
    return result;
}

constexpr int noEditLimit = 32767;  // QLineEdit's own default

// The room the closed list gives its entry: the field, less the pixel the
// label is drawn in from each side.
int entryRoom(const QComboBox& combo) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    option.frame = combo.hasFrame();
    return combo.style()
               ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                &combo)
               .width() -
           2;
}

}  // namespace

SetupWindow::SetupWindow(Form& form, QWidget* parent) : QDialog(parent), form_(form) {
    // Title, system menu, minimise and close box; no resizing. A window of
    // its own, so that it has a task-bar button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(utf8(setupDialogTemplate.title));
    setWindowIcon(applicationIcon());
    setFont(dialogFont());
    setFixedSize(dialogClientSize());

    // Created in template order, which makes the keyboard order the
    // template's; later items stack above the group box they sit in.
    const auto templateList = templateItems();
    for (std::size_t i = 0; i < templateList.size(); ++i) {
        const TemplateItem& item = templateList[i];
        QWidget* widget = createItem(item);
        items_[i] = widget;
        if (item.numbered()) {
            controls_[static_cast<std::size_t>(numberedIndex(item.id))] = widget;
            connectUserActions(item.id, widget);
        }
    }
    mirrorForm();
}

QWidget* SetupWindow::createItem(const TemplateItem& item) {
    const QString text = utf8(item.text);
    QWidget* widget = nullptr;
    switch (item.kind) {
        case ControlKind::combo: {
            auto* combo = new QComboBox(this);
            combo->setEditable(false);
            const int rowHeight = QFontMetrics(font()).height() + 2;
            combo->setMaxVisibleItems(std::max(1, comboDropHeight(item) / rowHeight));
            widget = combo;
            break;
        }
        case ControlKind::edit: {
            auto* edit = new QLineEdit(text, this);
            // [0-9], not \d: full-width and other scripts' digits are no
            // digits to the device.
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
            widget = edit;
            break;
        }
        case ControlKind::address: widget = new AddressEdit(this); break;
        case ControlKind::list: {
            widget = new ListBox(this);
            break;
        }
        case ControlKind::text: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setGeometry(itemRect(item));
            label->setFont(fontFitting(font(), {text}, label->contentsRect().width()));
            widget = label;
            break;
        }
        case ControlKind::checkBox: widget = new QCheckBox(text, this); break;
        case ControlKind::pushButton: widget = new QPushButton(text, this); break;
        case ControlKind::groupBox: {
            auto* box = new QGroupBox(text, this);
            // The frame's top line runs through the middle of the title, as
            // the template's group box draws it, so the box holds its first
            // control where the template puts it rather than under a title.
            box->setStyleSheet(QStringLiteral(
                "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                " margin-top: 6px; }"
                "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                " left: 6px; padding: 0 2px; }"));
            widget = box;
            break;
        }
        case ControlKind::rule: {
            auto* rule = new QFrame(this);
            rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            widget = rule;
            break;
        }
    }
    widget->setGeometry(itemRect(item));
    if (item.numbered()) widget->setObjectName(utf8(item.name));
    return widget;
}

void SetupWindow::connectUserActions(ControlId id, QWidget* widget) {
    switch (controlKind(id)) {
        case ControlKind::combo:
            // activated, not currentIndexChanged: only the user's choice
            // (the same entry again included) is a selection change.
            connect(static_cast<QComboBox*>(widget), &QComboBox::activated, this,
                    [this, id](int index) {
                        form_.userSelect(id, index);
                        userActed();
                    });
            break;
        case ControlKind::list:
            connect(static_cast<ListBox*>(widget), &ListBox::entryChosen, this,
                    [this, id](int row) {
                        form_.userSelect(id, row);
                        userActed();
                    });
            break;
        case ControlKind::edit:
            connect(static_cast<QLineEdit*>(widget), &QLineEdit::textEdited, this,
                    [this, id](const QString& text) {
                        form_.userReplaceText(id, text.toStdString());
                        userActed();
                    });
            break;
        case ControlKind::address:
            connect(static_cast<AddressEdit*>(widget), &AddressEdit::fieldEdited, this,
                    [this, id](int field, int value) {
                        form_.userSetAddressField(id, field, value);
                        userActed();
                    });
            break;
        case ControlKind::checkBox:
        case ControlKind::pushButton:
            connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, this,
                    [this, id] {
                        form_.userClick(id);
                        userActed();
                    });
            break;
        case ControlKind::text:
        case ControlKind::groupBox:
        case ControlKind::rule: break;
    }
}

void SetupWindow::userActed() { mirrorForm(); }

void SetupWindow::mirrorForm() {
    for (const ControlId id : numberedControls()) {
        mirrorControl(id, controlWidget(id));
    }
}

void SetupWindow::mirrorControl(ControlId id, QWidget* widget) {
    const QSignalBlocker blocker(widget);
    widget->setEnabled(form_.enabled(id));
    widget->setVisible(form_.visible(id));
    switch (controlKind(id)) {
        case ControlKind::combo: {
            auto* combo = static_cast<QComboBox*>(widget);
            const auto& entries = form_.items(id);
            if (!sameItems(*combo, entries)) {
                combo->clear();
                for (const std::string& entry : entries) combo->addItem(displayText(entry));
                QStringList texts;
                for (int i = 0; i < combo->count(); ++i) texts.append(combo->itemText(i));
                combo->setFont(fontFitting(font(), texts, entryRoom(*combo)));
            }
            const int selection = form_.selection(id);
            if (combo->currentIndex() != selection) combo->setCurrentIndex(selection);
            break;
        }
        case ControlKind::list: {
            auto* list = static_cast<ListBox*>(widget);
            const auto& entries = form_.items(id);
            if (!sameItems(*list, entries)) {
                list->clear();
                for (const std::string& entry : entries) list->addItem(displayText(entry));
            }
            const int selection = form_.selection(id);
            if (list->selectedRow() != selection || list->currentRow() != selection) {
                list->showSelection(selection);
            }
            break;
        }
        case ControlKind::edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            const QString text = displayText(form_.text(id));
            // A program's text may be longer than the limit; the user then
            // cannot add to it, only take away.
            const int limit = form_.textLimit(id);
            edit->setMaxLength(limit > 0 ? std::max(limit, static_cast<int>(text.size()))
                                         : noEditLimit);
            if (edit->text() != text) edit->setText(text);
            break;
        }
        case ControlKind::address:
            static_cast<AddressEdit*>(widget)->setFields(toWidgetFields(form_.address(id)));
            break;
        case ControlKind::checkBox: {
            auto* box = static_cast<QCheckBox*>(widget);
            box->setText(displayText(form_.text(id)));
            box->setChecked(form_.checked(id));
            break;
        }
        case ControlKind::pushButton:
            static_cast<QPushButton*>(widget)->setText(displayText(form_.text(id)));
            break;
        case ControlKind::text: {
            auto* label = static_cast<QLabel*>(widget);
            const QString text = displayText(form_.text(id));
            if (label->text() != text) {
                label->setText(text);
                label->setFont(fontFitting(font(), {text}, label->contentsRect().width()));
            }
            break;
        }
        case ControlKind::groupBox:
        case ControlKind::rule: break;
    }
}

QWidget* SetupWindow::controlWidget(ControlId id) const {
    const std::int32_t index = numberedIndex(id);
    return index < 0 ? nullptr : controls_[static_cast<std::size_t>(index)];
}

QWidget* SetupWindow::itemWidget(std::size_t templateIndex) const {
    return templateIndex < items_.size() ? items_[templateIndex] : nullptr;
}

void SetupWindow::holdEnd(bool held) {
    endHeld_ = held;
    if (!held && pendingEnd_) {
        const int result = *pendingEnd_;
        pendingEnd_.reset();
        QDialog::done(result);
    }
}

void SetupWindow::done(int result) {
    // Ending under a running write would leave its answers nowhere to go.
    if (endHeld_) {
        pendingEnd_ = result;
        return;
    }
    QDialog::done(result);
}

void SetupWindow::reject() { done(cancelResult); }

void SetupWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        // A focused push button takes Enter itself; anywhere else it is the
        // dialog's OK, which ends it.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled()) button->click();
        } else {
            done(okResult);
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tamro::qt
