// The window against the template and the control model: where every item
// sits, what the edits take, which actions reach the handlers, and how the
// dialog ends.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <cmath>
#include <sstream>
#include <thread>
#include <memory>
#include <vector>

#include "fake_dialog_services.h"
#include "message_box_answerer.h"
#include "models/model_file.h"
#include "protocol/messages.h"
#include "qt_test_main.h"
#include "ui/console_front_end.h"
#include "ui/dialog_messages.h"
#include "ui/form.h"
#include "ui/qt/address_edit.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/setup_dialog.h"

using tamro::ControlId;
using tamro::ControlKind;
using tamro::Handler;
using tamro::qt::AddressEdit;
using tamro::qt::SetupWindow;

namespace {

QString utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class RecordingEvents final : public tamro::FormEvents {
public:
    std::vector<Handler> handled;
    void handle(Handler handler, ControlId) override { handled.push_back(handler); }
};

// The window on a bare control model whose user actions are only recorded.
struct BareWindow {
    tamro::Form form;
    RecordingEvents events;
    std::unique_ptr<SetupWindow> window;

    BareWindow() {
        form.setEvents(&events);
        window = std::make_unique<SetupWindow>(form);
    }
    template <class Widget>
    Widget* widget(ControlId id) const {
        return qobject_cast<Widget*>(window->controlWidget(id));
    }
    bool showActive() const {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
};

// The window as the program starts it: the dialog's logic initialised with
// the sample model file and one scripted adapter.
struct StartedDialog {
    FakeDialogServices services;
    std::unique_ptr<tamro::DeviceTable> devices = std::make_unique<tamro::DeviceTable>();
    tamro::qt::QtFrontEnd frontEnd;
    std::unique_ptr<tamro::SetupDialog> dialog;
    std::unique_ptr<SetupWindow> window;
    bool started = false;

    StartedDialog() {
        services.adapters = {{address("10.77.0.1"), address("255.255.255.0"), "lab0"}};
        dialog = std::make_unique<tamro::SetupDialog>(frontEnd, services, *devices);
        dialog->setCommandLine(TAMRO_SAMPLE_MODEL_FILE);
        started = dialog->initDialog();
        window = std::make_unique<SetupWindow>(dialog->form());
        frontEnd.attach(window.get());
    }
    template <class Widget>
    Widget* widget(ControlId id) const {
        return qobject_cast<Widget*>(window->controlWidget(id));
    }
    QListWidget* list() const { return widget<QListWidget>(ControlId::deviceList); }
    bool showActive() const {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    // Presses the search button and waits until the search has ended.
    bool search() {
        const int before = services.searches;
        QTest::mouseClick(widget<QPushButton>(ControlId::searchButton), Qt::LeftButton);
        return QTest::qWaitFor([&] {
            return services.searches > before && !frontEnd.workerRunning() &&
                   window->controlWidget(ControlId::searchButton)->isEnabled();
        });
    }
};

QStringList comboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
    return items;
}

// A drop-down list's entry picked with the mouse. The list ignores a release
// that comes within a double-click time of opening.
void chooseWithMouse(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    const QRect entry = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
    QTRY_VERIFY(!view->isVisible());
}

// The numbered control a focused widget belongs to (an address field
// belongs to its address control).
QWidget* owningControl(QWidget* focused) {
    if (focused != nullptr && qobject_cast<AddressEdit*>(focused->parentWidget()) != nullptr) {
        return focused->parentWidget();
    }
    return focused;
}

QStringList enabledSettings(const SetupWindow& window) {
    QStringList names;
    for (const ControlId id : tamro::settingsControls) {
        if (window.controlWidget(id)->isEnabled()) names.append(utf8(tamro::controlName(id)));
    }
    return names;
}

int highlightedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(list->item(row)).center());
}

// The controls whose state differs between two forms.
QStringList formDifferences(const tamro::Form& a, const tamro::Form& b) {
    QStringList names;
    for (const ControlId id : tamro::numberedControls()) {
        if (a.enabled(id) != b.enabled(id) || a.visible(id) != b.visible(id) ||
            a.text(id) != b.text(id) || a.items(id) != b.items(id) ||
            a.selection(id) != b.selection(id) || a.checked(id) != b.checked(id) ||
            a.address(id).fields != b.address(id).fields) {
            names.append(utf8(tamro::controlName(id)));
        }
    }
    return names;
}

// The search as it runs in place: the command line's front end, which
// runs every worker on the dialog's thread.
std::unique_ptr<tamro::Form> searchedInPlace(const FakeDialogServices& like) {
    FakeDialogServices services;
    services.adapters = like.adapters;
    services.found = like.found;
    services.searchFailure = like.searchFailure;
    std::ostringstream out;
    tamro::ConsoleFrontEnd frontEnd(out);
    tamro::DeviceTable devices;
    tamro::SetupDialog dialog(frontEnd, services, devices);
    dialog.setCommandLine(TAMRO_SAMPLE_MODEL_FILE);
    if (!dialog.initDialog()) return nullptr;
    dialog.form().userClick(ControlId::searchButton);
    auto form = std::make_unique<tamro::Form>(dialog.form());
    form->setEvents(nullptr);
    return form;
}

// Counts the ticks of a 10 ms timer and the window's paints, and notes the
// longest wait between two ticks.
class LoopWatch : public QObject {
public:
    explicit LoopWatch(QWidget* window) : window_(window) {
        window_->installEventFilter(this);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            ++ticks;
            longestGap = std::max(longestGap, sinceTick_.restart());
            window_->update();
        });
        sinceTick_.start();
        timer_.start();
    }
    int ticks = 0;
    int paints = 0;
    qint64 longestGap = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint) ++paints;
        return false;
    }

private:
    QWidget* window_;
    QTimer timer_;
    QElapsedTimer sinceTick_;
};

bool takesKeyboardFocus(ControlKind kind) {
    return kind != ControlKind::text && kind != ControlKind::groupBox && kind != ControlKind::rule;
}

}  // namespace

class SetupWindowTest : public QObject {
    Q_OBJECT

private slots:
    void everyItemSitsAtItsTemplatePixels() {
        BareWindow bare;
        QCOMPARE(bare.window->size(), QSize(635, 515));
        QCOMPARE(bare.window->minimumSize(), bare.window->maximumSize());

        const auto items = tamro::templateItems();
        QCOMPARE(items.size(), std::size_t{69});
        // 6 / 4 across and 12 / 8 down are both one and a half, rounded up
        // at the half.
        const auto pixels = [](int units) { return static_cast<int>(std::lround(units * 1.5)); };
        for (std::size_t i = 0; i < items.size(); ++i) {
            const tamro::TemplateItem& item = items[i];
            QWidget* widget = bare.window->itemWidget(i);
            const QString where = QStringLiteral("item %1 %2 %3")
                                      .arg(i)
                                      .arg(utf8(item.name), utf8(item.text));
            QVERIFY2(widget != nullptr, qPrintable(where));
            QCOMPARE(widget->parentWidget(), bare.window.get());
            const int height =
                item.kind == ControlKind::combo ? 20 : pixels(item.rect.height);
            const QRect expected(pixels(item.rect.x), pixels(item.rect.y),
                                 pixels(item.rect.width), height);
            const QRect actual = widget->geometry();
            if (item.kind == ControlKind::text || item.kind == ControlKind::checkBox) {
                // A text may reach further right; a row label of the right-hand
                // columns may start where the protocol row's does (x 185).
                const bool rowLabel = !item.numbered() && item.labelFor != ControlId::none &&
                                      tamro::findControl(item.labelFor)->area ==
                                          tamro::Area::newSetting;
                QVERIFY2(actual.top() == expected.top() && actual.height() == height,
                         qPrintable(where));
                QVERIFY2(actual.left() == expected.left() ||
                             (rowLabel && actual.left() >= pixels(185) &&
                              actual.left() < expected.left()),
                         qPrintable(where));
                QVERIFY2(actual.right() >= expected.right() && actual.right() < 635,
                         qPrintable(where));
            } else {
                QVERIFY2(actual == expected, qPrintable(where));
            }
            if (item.numbered()) {
                QCOMPARE(widget, bare.window->controlWidget(item.id));
                QCOMPARE(widget->objectName(), utf8(item.name));
            }
            bool rightKind = false;
            switch (item.kind) {
                case ControlKind::combo: {
                    auto* combo = qobject_cast<QComboBox*>(widget);
                    rightKind = combo != nullptr && !combo->isEditable();
                    break;
                }
                case ControlKind::edit: rightKind = qobject_cast<QLineEdit*>(widget); break;
                case ControlKind::address: rightKind = qobject_cast<AddressEdit*>(widget); break;
                case ControlKind::list: rightKind = qobject_cast<QListWidget*>(widget); break;
                case ControlKind::text: rightKind = qobject_cast<QLabel*>(widget); break;
                case ControlKind::checkBox: rightKind = qobject_cast<QCheckBox*>(widget); break;
                case ControlKind::pushButton: rightKind = qobject_cast<QPushButton*>(widget); break;
                case ControlKind::groupBox: rightKind = qobject_cast<QGroupBox*>(widget); break;
                case ControlKind::rule: {
                    auto* rule = qobject_cast<QFrame*>(widget);
                    rightKind = rule != nullptr && rule->frameShape() == QFrame::HLine;
                    break;
                }
            }
            QVERIFY2(rightKind, qPrintable(where));
        }
    }

    void theWindowHasTheTitleFontAndIcon() {
        BareWindow bare;
        QCOMPARE(bare.window->windowTitle(), QStringLiteral("QZセットアップツール"));
        const QFontInfo font(bare.window->font());
        QCOMPARE(font.family(), QStringLiteral("IPAPGothic"));
        QCOMPARE(font.pointSize(), 9);
        QVERIFY(!bare.window->windowIcon().isNull());
        QVERIFY(!bare.window->windowIcon().pixmap(32, 32).isNull());
        const Qt::WindowFlags flags = bare.window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    }

    // Boxes in place of Japanese text would mean the font lacks a glyph; a
    // text wider than the room its widget gives it is cut.
    void everyTextHasItsGlyphsAndItsRoom() {
        StartedDialog started;
        QVERIFY(started.started);
        tamro::Form& form = started.dialog->form();
        // The longest entry the device list can show.
        form.addItem(ControlId::deviceList, "02-00-00-00-00-10 / 255.255.255.255");
        started.window->mirrorForm();
        QVERIFY(started.showActive());

        struct Shown {
            QString text;
            int room = 0;
            QWidget* widget = nullptr;
        };
        std::vector<Shown> shown;
        const auto comboRoom = [](QComboBox* combo) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = false;
            option.frame = combo->hasFrame();
            // The label is drawn one pixel in from each side of the field.
            return combo->style()
                       ->subControlRect(QStyle::CC_ComboBox, &option,
                                        QStyle::SC_ComboBoxEditField, combo)
                       .width() -
                   2;
        };
        for (QWidget* child : started.window->findChildren<QWidget*>()) {
            if (child->isHidden() || child->window() != started.window.get()) continue;
            if (auto* label = qobject_cast<QLabel*>(child)) {
                shown.push_back({label->text(), label->contentsRect().width(), label});
            } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
                // The mark, the gap and the text as the style lays them out.
                shown.push_back({check->text(), check->width() - check->sizeHint().width() +
                                                     check->fontMetrics().horizontalAdvance(
                                                         QString(check->text()).remove('&')),
                                 check});
            } else if (auto* button = qobject_cast<QPushButton*>(child)) {
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = button->text();
                shown.push_back({button->text(),
                                 button->style()
                                     ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
                                     .width(),
                                 button});
            } else if (auto* box = qobject_cast<QGroupBox*>(child)) {
                shown.push_back({box->title(), box->width() - 20, box});
            } else if (auto* combo = qobject_cast<QComboBox*>(child)) {
                for (const QString& item : comboItems(combo)) {
                    shown.push_back({item, comboRoom(combo), combo});
                }
            } else if (auto* list = qobject_cast<QListWidget*>(child)) {
                const int room = list->viewport()->width() - 2 * list->frameWidth() -
                                 list->verticalScrollBar()->sizeHint().width();
                for (int i = 0; i < list->count(); ++i) {
                    shown.push_back({list->item(i)->text(), room, list});
                }
            }
        }
        // The current-setting texts with the longest values they show.
        QStringList cut;
        const auto currentTexts = [&](ControlId current, QStringList texts) {
            auto* label = started.widget<QLabel>(current);
            for (const QString& text : texts) {
                form.setText(current, text.toStdString());
                started.window->mirrorForm();
                const int width = label->fontMetrics().horizontalAdvance(text);
                if (width > label->contentsRect().width()) {
                    cut.append(QStringLiteral("\"%1\" in %2 (%3 px, room %4)")
                                   .arg(text, label->objectName())
                                   .arg(width)
                                   .arg(label->contentsRect().width()));
                }
            }
            form.setText(current, "");
        };
        const auto itemsOf = [&](ControlId combo) { return comboItems(started.widget<QComboBox>(combo)); };
        currentTexts(ControlId::protocolCurrent, itemsOf(ControlId::protocolCombo));
        currentTexts(ControlId::baudCurrent, itemsOf(ControlId::baudCombo));
        currentTexts(ControlId::parityCurrent, itemsOf(ControlId::parityCombo));
        currentTexts(ControlId::flowCurrent, itemsOf(ControlId::flowCombo));
        currentTexts(ControlId::connectCurrent, itemsOf(ControlId::connectCombo));
        currentTexts(ControlId::packCurrent, itemsOf(ControlId::packCombo));
        for (const ControlId id : {ControlId::portCurrent, ControlId::remotePortCurrent}) {
            currentTexts(id, {QStringLiteral("65535")});
        }
        currentTexts(ControlId::remoteIpCurrent, {QStringLiteral("255.255.255.255")});
        currentTexts(ControlId::keepAliveCurrent, {QStringLiteral("255")});

        started.window->mirrorForm();
        QStringList allTexts{started.window->windowTitle()};
        for (const Shown& item : shown) {
            allTexts.append(item.text);
            const int width = item.widget->fontMetrics().horizontalAdvance(
                QString(item.text).remove('&'));
            if (width > item.room) {
                cut.append(QStringLiteral("\"%1\" in %2 (%3 px, room %4)")
                               .arg(item.text, item.widget->objectName())
                               .arg(width)
                               .arg(item.room));
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
        // A label or a check box runs no further than the next item on its row.
        QList<QWidget*> textWidgets;
        for (QLabel* label : started.window->findChildren<QLabel*>()) textWidgets.append(label);
        for (QCheckBox* check : started.window->findChildren<QCheckBox*>()) textWidgets.append(check);
        for (QWidget* label : textWidgets) {
            if (label->isHidden()) continue;
            for (QWidget* other : started.window->findChildren<QWidget*>()) {
                if (other == label || other->isHidden() || other->parentWidget() != label->parentWidget() ||
                    qobject_cast<QGroupBox*>(other) != nullptr) {
                    continue;
                }
                QVERIFY2(!label->geometry().intersects(other->geometry()),
                         qPrintable(label->objectName() + QStringLiteral(" overlaps ") +
                                    other->objectName()));
            }
        }

        for (const std::string_view message :
             {tamro::noAdapterMessage, tamro::portErrorMessage, tamro::remoteIpErrorMessage,
              tamro::remotePortErrorMessage, tamro::keepAliveRangeMessage,
              tamro::writeConfirmationMessage, tamro::pingNoAnswerMessage,
              tamro::pingAnsweredMessage, tamro::pingConflictMessage,
              tamro::communicationErrorMessage, tamro::subnetMaskErrorMessage,
              tamro::settingErrorMessage, tamro::writeCompleteMessage,
              tamro::modelFileNotFoundMessage, tamro::modelFileParseFailedMessage,
              tamro::modelFileWrongMessage}) {
            allTexts.append(utf8(message));
        }
        allTexts.append(utf8(tamro::baudLimitMessage("115200")));
        allTexts.append(QStringLiteral("キャンセル"));

        const QFontMetrics metrics(started.window->font());
        QStringList missing;
        for (const QString& text : allTexts) {
            for (const char32_t character : text.toUcs4()) {
                if (character < 0x20) continue;
                if (!metrics.inFontUcs4(character)) {
                    missing.append(QStringLiteral("U+%1 in \"%2\"")
                                       .arg(static_cast<uint>(character), 4, 16, QChar('0'))
                                       .arg(text));
                }
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }

    void theStartedDialogHidesThePinGroupAndFillsTheLists() {
        StartedDialog started;
        QVERIFY(started.started);
        const auto& pinGroup = tamro::controlPinGroup;
        for (const ControlId id : tamro::numberedControls()) {
            const bool pin = std::find(pinGroup.begin(), pinGroup.end(), id) != pinGroup.end();
            QVERIFY2(started.window->controlWidget(id)->isHidden() == pin,
                     qPrintable(utf8(tamro::controlName(id))));
        }
        for (const tamro::FixedList& list : tamro::fixedLists) {
            QStringList expected;
            for (const std::string_view text : list.texts) expected.append(utf8(text));
            const auto* combo = started.widget<QComboBox>(list.control);
            QCOMPARE(comboItems(combo), expected);
            QCOMPARE(combo->currentIndex(), -1);
        }
        QCOMPARE(started.widget<QComboBox>(ControlId::cp3Combo)->count(), 7);
        QCOMPARE(started.widget<QComboBox>(ControlId::baudCombo)->itemText(12),
                 QStringLiteral("921600"));

        // The model names, the one in code page 932 included.
        const auto* models = started.widget<QComboBox>(ControlId::modelCombo);
        QCOMPARE(models->count(), 6);
        QCOMPARE(models->currentIndex(), 0);
        QCOMPARE(models->itemText(3), QStringLiteral("組込み QZ-310"));
        QCOMPARE(models->itemText(4), QStringLiteral("QZ-500, dual port"));
        const auto* adapters = started.widget<QComboBox>(ControlId::adapterCombo);
        QCOMPARE(comboItems(adapters), QStringList{QStringLiteral("10.77.0.1 (lab0)")});
        QCOMPARE(adapters->currentIndex(), 0);

        for (const ControlId id : tamro::settingsControls) {
            QVERIFY2(!started.window->controlWidget(id)->isEnabled(),
                     qPrintable(utf8(tamro::controlName(id))));
        }
        for (const ControlId id : tamro::currentSettingTexts) {
            QCOMPARE(started.widget<QLabel>(id)->text(), QString());
        }
        QVERIFY(started.window->controlWidget(ControlId::searchButton)->isEnabled());
        QVERIFY(started.window->controlWidget(ControlId::deviceList)->isEnabled());
        QCOMPARE(started.widget<QListWidget>(ControlId::deviceList)->count(), 0);
        QCOMPARE(started.widget<QLabel>(ControlId::versionText)->text(),
                 QStringLiteral("Version 1.00"));
    }

    // The platform's drop-down list opens below the control, as tall as the
    // template's height allows: the baud rates all show without scrolling.
    void aDroppedListOpensBelowWithRoomForItsEntries() {
        StartedDialog started;
        QVERIFY(started.started);
        started.dialog->form().setEnabled(ControlId::baudCombo, true);
        started.window->mirrorForm();
        started.window->show();
        started.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(started.window.get()));

        auto* baud = started.widget<QComboBox>(ControlId::baudCombo);
        baud->showPopup();
        QAbstractItemView* view = baud->view();
        QTRY_VERIFY(view->isVisible());
        const QPoint comboBottom = baud->mapToGlobal(QPoint(0, baud->height()));
        QVERIFY(view->window()->geometry().top() >= comboBottom.y() - 1);
        const int lastRow = baud->count() - 1;
        QVERIFY(view->viewport()->rect().contains(
            view->visualRect(view->model()->index(lastRow, 0))));
        baud->hidePopup();
        QTRY_VERIFY(!view->isVisible());
        // The template's height includes the dropped list, not the closed box.
        QCOMPARE(baud->height(), 20);
    }

    void theEditsTakeAsciiDigitsWithinTheirLimits() {
        StartedDialog started;
        QVERIFY(started.started);
        tamro::Form& form = started.dialog->form();
        for (const ControlId id :
             {ControlId::portEdit, ControlId::remotePortEdit, ControlId::keepAliveEdit}) {
            form.setEnabled(id, true);
        }
        started.window->mirrorForm();

        auto* port = started.widget<QLineEdit>(ControlId::portEdit);
        QTest::keyClicks(port, "1a2B34-5 6");
        QCOMPARE(port->text(), QStringLiteral("12345"));
        QCOMPARE(form.text(ControlId::portEdit), std::string("12345"));

        auto* remotePort = started.widget<QLineEdit>(ControlId::remotePortEdit);
        QTest::keyClicks(remotePort, "655369");
        QCOMPARE(form.text(ControlId::remotePortEdit), std::string("65536"));

        auto* keepAlive = started.widget<QLineEdit>(ControlId::keepAliveEdit);
        QTest::keyClicks(keepAlive, "659");
        QCOMPARE(keepAlive->text(), QStringLiteral("65"));
        QCOMPARE(form.text(ControlId::keepAliveEdit), std::string("65"));
        QTest::keyClick(keepAlive, Qt::Key_Backspace);
        QCOMPARE(form.text(ControlId::keepAliveEdit), std::string("6"));
    }

    // QTest::keyClicks cannot type them; an input method commits them.
    void fullWidthAndOtherDigitsAreRefused() {
        StartedDialog started;
        QVERIFY(started.started);
        tamro::Form& form = started.dialog->form();
        form.setEnabled(ControlId::portEdit, true);
        started.window->mirrorForm();
        auto* port = started.widget<QLineEdit>(ControlId::portEdit);
        const auto commit = [port](const QString& text) {
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(port, &event);
        };
        commit(QStringLiteral("１２３"));
        commit(QStringLiteral("٣"));
        commit(QStringLiteral("१"));
        QCOMPARE(port->text(), QString());
        QCOMPARE(form.text(ControlId::portEdit), std::string());
        commit(QStringLiteral("123"));
        QCOMPARE(form.text(ControlId::portEdit), std::string("123"));
        commit(QStringLiteral("4５"));
        QCOMPARE(form.text(ControlId::portEdit), std::string("123"));
    }

    void anAddressTypedIntoTheWindowReachesTheForm() {
        BareWindow bare;
        auto* address = bare.widget<AddressEdit>(ControlId::ipAddressCtrl);
        for (int field = 0; field < 4; ++field) {
            QTest::keyClicks(address->field(field), QByteArray::number(field == 3 ? 300 : 10 + field));
        }
        QCOMPARE(bare.form.address(ControlId::ipAddressCtrl).fields,
                 (std::array<std::int32_t, 4>{10, 11, 12, 255}));
        QCOMPARE(address->field(3)->text(), QStringLiteral("255"));
        // Address fields run no handler.
        QVERIFY(bare.events.handled.empty());
    }

    void aProgramSelectionRunsNoHandlerAndTheSameUserChoiceDoes() {
        BareWindow bare;
        for (const char* name : {"QZ-100", "QZ-120L", "QZ-200F"}) {
            bare.form.addItem(ControlId::modelCombo, name);
        }
        bare.form.setSelection(ControlId::modelCombo, 2);
        bare.window->mirrorForm();
        auto* models = bare.widget<QComboBox>(ControlId::modelCombo);
        QCOMPARE(models->currentIndex(), 2);
        QVERIFY(bare.events.handled.empty());

        QVERIFY(bare.showActive());
        chooseWithMouse(models, 2);
        QCOMPARE(bare.events.handled, std::vector<Handler>{Handler::applyModelConstraints});
        QTest::keyClick(models, Qt::Key_Up);
        QCOMPARE(bare.events.handled.size(), std::size_t{2});
        QCOMPARE(bare.form.selection(ControlId::modelCombo), 1);

        // The same for the device list.
        bare.events.handled.clear();
        bare.form.addItem(ControlId::deviceList, "02-00-00-00-00-10 / 10.77.0.10");
        bare.form.addItem(ControlId::deviceList, "02-00-00-00-00-11 / 10.77.0.11");
        bare.form.setSelection(ControlId::deviceList, 1);
        bare.window->mirrorForm();
        auto* list = bare.widget<QListWidget>(ControlId::deviceList);
        QCOMPARE(list->currentRow(), 1);
        bare.form.clearItems(ControlId::deviceList);
        bare.window->mirrorForm();
        QCOMPARE(list->count(), 0);
        QVERIFY(bare.events.handled.empty());

        bare.form.addItem(ControlId::deviceList, "02-00-00-00-00-12 / 10.77.0.12");
        bare.window->mirrorForm();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(bare.events.handled, std::vector<Handler>{Handler::onDeviceSelected});
        QCOMPARE(bare.form.selection(ControlId::deviceList), 0);
    }

    // A list that receives the focus has chosen nothing: the settings stay
    // off until the operator picks an entry, by mouse or by key.
    void tabbingIntoTheDeviceListChoosesNothing() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10"), foundDevice(0x11, "10.77.0.11")};
        QVERIFY(started.showActive());
        QVERIFY(started.search());
        QCOMPARE(started.list()->count(), 2);

        started.window->controlWidget(ControlId::searchButton)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), started.list());
        QCOMPARE(started.dialog->form().selection(ControlId::deviceList), -1);
        QCOMPARE(highlightedRow(started.list()), -1);
        QCOMPARE(enabledSettings(*started.window), QStringList());

        // The first key down chooses the first entry and shows it.
        QTest::keyClick(started.list(), Qt::Key_Down);
        QCOMPARE(started.dialog->form().selection(ControlId::deviceList), 0);
        QCOMPARE(highlightedRow(started.list()), 0);
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("4016"));
        QTest::keyClick(started.list(), Qt::Key_Down);
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("4017"));

        // Away and back: the choice stays what it was.
        QTest::keyClick(started.list(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), started.list());
        QCOMPARE(started.dialog->form().selection(ControlId::deviceList), 1);
        QCOMPARE(highlightedRow(started.list()), 1);

        // A list emptied of its selection by the program takes the focus the same way.
        tamro::Form& form = started.dialog->form();
        form.setSelection(ControlId::deviceList, -1);
        tamro::resetSettingControls(form, false);
        started.window->mirrorForm();
        QCOMPARE(highlightedRow(started.list()), -1);
        QTest::keyClick(started.list(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), started.list());
        QCOMPARE(form.selection(ControlId::deviceList), -1);
        QCOMPARE(enabledSettings(*started.window), QStringList());
    }

    // The platform's single-selection list box cannot be emptied by its
    // user, so what is highlighted is always what the dialog acts on.
    void theOperatorCannotEmptyTheDeviceListsSelection() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10"), foundDevice(0x11, "10.77.0.11")};
        QVERIFY(started.showActive());
        QVERIFY(started.search());
        QListWidget* list = started.list();
        const tamro::Form& form = started.dialog->form();

        clickRow(list, 1);
        QCOMPARE(form.selection(ControlId::deviceList), 1);
        clickRow(list, 1, Qt::ControlModifier);
        QCOMPARE(highlightedRow(list), 1);
        QCOMPARE(form.selection(ControlId::deviceList), 1);
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(highlightedRow(list), 1);
        QCOMPARE(form.selection(ControlId::deviceList), 1);
        // Below the last entry there is nothing to choose.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(10, list->viewport()->height() - 5));
        QCOMPARE(highlightedRow(list), 1);
        QCOMPARE(form.selection(ControlId::deviceList), 1);
        QVERIFY(started.window->controlWidget(ControlId::writeButton)->isEnabled());

        // Ctrl+click on another entry chooses it as a plain click does.
        clickRow(list, 0, Qt::ControlModifier);
        QCOMPARE(highlightedRow(list), 0);
        QCOMPARE(form.selection(ControlId::deviceList), 0);
        QCOMPARE(list->selectedItems().size(), 1);
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("4016"));
    }

    // Every click on an entry notifies, the selected one included: after a
    // failed discovery kept the list, the highlighted device comes back.
    void clickingTheSelectedEntryShowsItsDeviceAgain() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10"), foundDevice(0x11, "10.77.0.11")};
        QVERIFY(started.showActive());
        QVERIFY(started.search());
        clickRow(started.list(), 1);
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("4017"));

        MessageBoxAnswerer answerer;
        started.services.searchFailure = FakeDialogServices::SearchFailure::beforeStoring;
        QVERIFY(started.search());
        QTRY_COMPARE(answerer.texts(), QStringList{utf8(tamro::communicationErrorMessage)});
        QCOMPARE(started.list()->count(), 2);
        QCOMPARE(highlightedRow(started.list()), 1);
        QCOMPARE(enabledSettings(*started.window), QStringList());
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QString());

        clickRow(started.list(), 1);
        QCOMPARE(started.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("4017"));
        QVERIFY(started.window->controlWidget(ControlId::writeButton)->isEnabled());

        // And on a bare form: two clicks on one entry, two notifications.
        BareWindow bare;
        bare.form.addItem(ControlId::deviceList, "02-00-00-00-00-10 / 10.77.0.10");
        bare.window->mirrorForm();
        QVERIFY(bare.showActive());
        auto* list = bare.widget<QListWidget>(ControlId::deviceList);
        clickRow(list, 0);
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        clickRow(list, 0);
        QCOMPARE(bare.events.handled,
                 (std::vector<Handler>{Handler::onDeviceSelected, Handler::onDeviceSelected}));
    }

    // A search of about a second runs on a worker: the window keeps
    // answering, everything that could change the table or read the form is
    // off, the pointer says busy, and the form ends as the search in place
    // leaves it.
    void aSearchKeepsTheWindowAliveAndEndsAsInPlace() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10"), foundDevice(0x56, "172.16.5.9"),
                                  foundDevice(0x11, "10.77.0.11")};
        started.services.searchTime = std::chrono::milliseconds(1000);
        QVERIFY(started.showActive());

        LoopWatch watch(started.window.get());
        QTest::mouseClick(started.widget<QPushButton>(ControlId::searchButton), Qt::LeftButton);
        QVERIFY(started.dialog->searchRunning());
        QVERIFY(started.frontEnd.workerRunning());
        for (const ControlId id : {ControlId::searchButton, ControlId::adapterCombo,
                                   ControlId::modelCombo, ControlId::deviceList}) {
            QVERIFY2(!started.window->controlWidget(id)->isEnabled(),
                     qPrintable(utf8(tamro::controlName(id))));
        }
        QCOMPARE(enabledSettings(*started.window), QStringList());
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

        const int ticksAtStart = watch.ticks;
        const int paintsAtStart = watch.paints;
        QTRY_VERIFY_WITH_TIMEOUT(!started.frontEnd.workerRunning(), 10000);
        // A window that froze for the second would have ticked once or twice.
        QVERIFY2(watch.ticks - ticksAtStart >= 20, qPrintable(QString::number(watch.ticks)));
        QVERIFY(watch.paints - paintsAtStart >= 10);
        qInfo("search of 1 s: %d ticks, %d paints, longest gap %lld ms",
              watch.ticks - ticksAtStart, watch.paints - paintsAtStart, watch.longestGap);
        QVERIFY(started.services.searchThread != std::this_thread::get_id());

        QVERIFY(!started.dialog->searchRunning());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        const auto inPlace = searchedInPlace(started.services);
        QVERIFY(inPlace != nullptr);
        QCOMPARE(formDifferences(started.dialog->form(), *inPlace), QStringList());
        QCOMPARE(started.list()->count(), 3);
        QVERIFY(started.list()->isEnabled());
        QVERIFY(started.window->controlWidget(ControlId::searchButton)->isEnabled());
        QVERIFY(started.window->controlWidget(ControlId::modelCombo)->isEnabled());
    }

    void aFailedSearchOnTheWorkerEndsAsInPlace() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10")};
        QVERIFY(started.showActive());
        QVERIFY(started.search());
        MessageBoxAnswerer answerer;
        // Replies of this run over the rows the list shows.
        started.services.found = {foundDevice(0x12, "10.77.0.12")};
        started.services.searchFailure = FakeDialogServices::SearchFailure::afterStoring;
        started.services.searchTime = std::chrono::milliseconds(300);
        QVERIFY(started.search());
        QTRY_COMPARE(answerer.texts(), QStringList{utf8(tamro::communicationErrorMessage)});
        QCOMPARE(started.list()->count(), 0);
        const auto inPlace = searchedInPlace(started.services);
        QVERIFY(inPlace != nullptr);
        QCOMPARE(formDifferences(started.dialog->form(), *inPlace), QStringList());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // Closing waits for the search, then ends the dialog.
    void closingDuringASearchEndsTheDialogOnceItIsOver() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x10, "10.77.0.10")};
        started.services.searchTime = std::chrono::milliseconds(800);
        started.window->open();
        started.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(started.window.get()));
        QTest::mouseClick(started.widget<QPushButton>(ControlId::searchButton), Qt::LeftButton);
        QVERIFY(started.frontEnd.workerRunning());
        started.window->close();
        QVERIFY(started.window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!started.window->isVisible(), 5000);
        QCOMPARE(started.window->result(), SetupWindow::cancelResult);
        QCOMPARE(started.services.searches.load(), 1);
        QVERIFY(!started.frontEnd.workerRunning());
        QVERIFY(!started.dialog->searchRunning());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void aPingRunsOffTheWindowsThread() {
        StartedDialog started;
        QVERIFY(started.started);
        started.services.found = {foundDevice(0x56, "172.16.5.9")};
        QVERIFY(started.showActive());
        QVERIFY(started.search());
        clickRow(started.list(), 0);
        QVERIFY(started.window->controlWidget(ControlId::pingButton)->isEnabled());

        MessageBoxAnswerer answerer;
        started.services.echoTime = std::chrono::milliseconds(500);
        QTest::mouseClick(started.widget<QPushButton>(ControlId::pingButton), Qt::LeftButton);
        QVERIFY(started.dialog->probeRunning());
        QVERIFY(!started.window->controlWidget(ControlId::pingButton)->isEnabled());
        QVERIFY(!started.window->controlWidget(ControlId::deviceList)->isEnabled());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts(), QStringList{utf8(tamro::pingNoAnswerMessage)},
                                  5000);
        QVERIFY(started.services.probeThread != std::this_thread::get_id());
        QTRY_VERIFY(!started.frontEnd.workerRunning());
        QVERIFY(started.window->controlWidget(ControlId::pingButton)->isEnabled());
        QVERIFY(started.window->controlWidget(ControlId::deviceList)->isEnabled());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void buttonsAndTheCheckBoxReachTheirHandlers() {
        BareWindow bare;
        QVERIFY(bare.showActive());
        auto* check = bare.widget<QCheckBox>(ControlId::dhcpCheck);
        QStyleOptionButton option;
        option.initFrom(check);
        const QRect box = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        QTest::mouseClick(check, Qt::LeftButton, {}, box.center());
        QVERIFY(bare.form.checked(ControlId::dhcpCheck));
        QVERIFY(check->isChecked());

        QTest::mouseClick(bare.widget<QPushButton>(ControlId::searchButton), Qt::LeftButton);
        QTest::keyClick(bare.window.get(), Qt::Key_E, Qt::AltModifier);
        QTest::keyClick(bare.window.get(), Qt::Key_S, Qt::AltModifier);
        // A mnemonic presses its button a moment later, as a click would look.
        QTRY_COMPARE(bare.events.handled,
                 (std::vector<Handler>{Handler::applyDhcpState, Handler::onSearch,
                                       Handler::onWrite, Handler::onSearch}));

        // A control the form has switched off takes nothing.
        bare.form.setEnabled(ControlId::writeButton, false);
        bare.window->mirrorForm();
        QTest::mouseClick(bare.widget<QPushButton>(ControlId::writeButton), Qt::LeftButton);
        QTest::keyClick(bare.window.get(), Qt::Key_E, Qt::AltModifier);
        QTest::qWait(300);
        QCOMPARE(bare.events.handled.size(), std::size_t{4});
    }

    void theWindowShowsEveryKindOfFormState() {
        BareWindow bare;
        tamro::Form& form = bare.form;
        form.setEnabled(ControlId::portEdit, false);
        form.setText(ControlId::portCurrent, "10001");
        form.setAddress(ControlId::ipAddressCtrl, address("192.168.0.10"));
        form.setAddress(ControlId::netmaskCtrl, tamro::AddressFields{{255, -1, 0, -1}});
        form.setChecked(ControlId::dhcpCheck, true);
        form.setText(ControlId::versionText, "Version 1.00");
        form.setVisible(ControlId::cp1Combo, false);
        // The dialog lists model names already read from the file's code page.
        form.addItem(ControlId::modelCombo, "組込み QZ-310");
        form.setSelection(ControlId::modelCombo, 0);
        // A program's text passes the edit's limit; the user adds nothing to it.
        form.setTextLimit(ControlId::keepAliveEdit, 2);
        form.setText(ControlId::keepAliveEdit, "12345");
        bare.window->mirrorForm();

        QVERIFY(!bare.window->controlWidget(ControlId::portEdit)->isEnabled());
        QCOMPARE(bare.widget<QLabel>(ControlId::portCurrent)->text(), QStringLiteral("10001"));
        QCOMPARE(bare.widget<AddressEdit>(ControlId::ipAddressCtrl)->fields(),
                 (AddressEdit::Fields{192, 168, 0, 10}));
        QCOMPARE(bare.widget<AddressEdit>(ControlId::netmaskCtrl)->fields(),
                 (AddressEdit::Fields{255, -1, 0, -1}));
        QVERIFY(bare.widget<QCheckBox>(ControlId::dhcpCheck)->isChecked());
        QCOMPARE(bare.widget<QLabel>(ControlId::versionText)->text(),
                 QStringLiteral("Version 1.00"));
        QVERIFY(bare.window->controlWidget(ControlId::cp1Combo)->isHidden());
        QCOMPARE(bare.widget<QComboBox>(ControlId::modelCombo)->currentText(),
                 QStringLiteral("組込み QZ-310"));
        auto* keepAlive = bare.widget<QLineEdit>(ControlId::keepAliveEdit);
        QCOMPARE(keepAlive->text(), QStringLiteral("12345"));
        keepAlive->end(false);
        QTest::keyClick(keepAlive, Qt::Key_6);
        QCOMPARE(form.text(ControlId::keepAliveEdit), std::string("12345"));
        QVERIFY(bare.events.handled.empty());

        // And back again.
        form.setEnabled(ControlId::portEdit, true);
        form.clearAddress(ControlId::ipAddressCtrl);
        form.setChecked(ControlId::dhcpCheck, false);
        form.setSelection(ControlId::modelCombo, -1);
        bare.window->mirrorForm();
        QVERIFY(bare.window->controlWidget(ControlId::portEdit)->isEnabled());
        QCOMPARE(bare.widget<AddressEdit>(ControlId::ipAddressCtrl)->fields(),
                 (AddressEdit::Fields{-1, -1, -1, -1}));
        QVERIFY(!bare.widget<QCheckBox>(ControlId::dhcpCheck)->isChecked());
        QCOMPARE(bare.widget<QComboBox>(ControlId::modelCombo)->currentIndex(), -1);
        QVERIFY(bare.events.handled.empty());
    }

    void tabFollowsTheTemplateOrder() {
        BareWindow bare;
        tamro::hideControlPinGroup(bare.form);
        bare.window->mirrorForm();
        QVERIFY(bare.showActive());

        QStringList expected;
        for (const tamro::TemplateItem& item : tamro::templateItems()) {
            if (item.numbered() && takesKeyboardFocus(item.kind) && bare.form.visible(item.id)) {
                expected.append(utf8(item.name));
            }
        }
        bare.window->controlWidget(ControlId::modelCombo)->setFocus();
        QStringList visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            visited.append(owningControl(QApplication::focusWidget())->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);
        // Round again to the start.
        QCOMPARE(QApplication::focusWidget(), bare.window->controlWidget(ControlId::modelCombo));
    }

    void enterEscapeAndTheCloseBoxEndTheDialog() {
        BareWindow bare;
        const auto open = [&bare] {
            bare.window->open();
            bare.window->activateWindow();
            return QTest::qWaitForWindowActive(bare.window.get());
        };

        QVERIFY(open());
        auto* models = bare.widget<QComboBox>(ControlId::modelCombo);
        models->setFocus();
        QTest::keyClick(models, Qt::Key_Return);
        QVERIFY(!bare.window->isVisible());
        QCOMPARE(bare.window->result(), SetupWindow::okResult);

        QVERIFY(open());
        auto* port = bare.widget<QLineEdit>(ControlId::portEdit);
        port->setFocus();
        QTest::keyClick(port, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!bare.window->isVisible());
        QCOMPARE(bare.window->result(), SetupWindow::okResult);

        QVERIFY(open());
        QTest::keyClick(bare.widget<QListWidget>(ControlId::deviceList), Qt::Key_Escape);
        QVERIFY(!bare.window->isVisible());
        QCOMPARE(bare.window->result(), SetupWindow::cancelResult);

        QVERIFY(open());
        bare.window->close();
        QVERIFY(!bare.window->isVisible());
        QCOMPARE(bare.window->result(), SetupWindow::cancelResult);

        // Enter on a focused push button presses it and the dialog stays.
        QVERIFY(open());
        auto* search = bare.widget<QPushButton>(ControlId::searchButton);
        search->setFocus();
        QTest::keyClick(search, Qt::Key_Return);
        QVERIFY(bare.window->isVisible());
        QCOMPARE(bare.events.handled, std::vector<Handler>{Handler::onSearch});
        bare.window->close();
    }
};

TAMRO_QT_TEST_MAIN(SetupWindowTest)
#include "setup_window_test.moc"
