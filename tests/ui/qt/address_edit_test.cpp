// The address control alone: what an operator's keys do to its four fields.
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "qt_test_main.h"
#include "ui/qt/address_edit.h"

using tamro::qt::AddressEdit;

class AddressEditTest : public QObject {
    Q_OBJECT

private:
    // A small window with an edit before and after the control, shown and
    // active so that focus moves as it does for an operator.
    struct Stage {
        QWidget window;
        QLineEdit* before = new QLineEdit(&window);
        AddressEdit* address = new AddressEdit(&window);
        QLineEdit* after = new QLineEdit(&window);

        Stage() {
            auto* layout = new QVBoxLayout(&window);
            layout->addWidget(before);
            layout->addWidget(address);
            layout->addWidget(after);
            address->setFixedSize(150, 23);
            window.show();
            window.activateWindow();
        }
    };

    static QList<QList<int>> edits(const QSignalSpy& spy) {
        QList<QList<int>> result;
        for (const QList<QVariant>& call : spy) result.append({call[0].toInt(), call[1].toInt()});
        return result;
    }

private slots:
    void threeDigitsOrADotMoveOnToTheNextField() {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowActive(&stage.window));
        stage.address->field(0)->setFocus();
        QTest::keyClicks(QApplication::focusWidget(), "192");
        QCOMPARE(QApplication::focusWidget(), stage.address->field(1));
        // From here each key goes wherever the focus has moved.
        for (const char key : QByteArray("1.2.30")) {
            QTest::keyClick(QApplication::focusWidget(), key);
        }
        QCOMPARE(stage.address->fields(), (AddressEdit::Fields{192, 1, 2, 30}));
        QCOMPARE(QApplication::focusWidget(), stage.address->field(3));
    }

    void aDotInAnEmptyFieldIsIgnored() {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowActive(&stage.window));
        stage.address->field(0)->setFocus();
        QTest::keyClick(stage.address->field(0), '.');
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
        QCOMPARE(stage.address->field(0)->text(), QString());
    }

    void eachEditIsReportedWithItsFieldAndValue() {
        Stage stage;
        QSignalSpy spy(stage.address, &AddressEdit::fieldEdited);
        QTest::keyClicks(stage.address->field(2), "30");
        QTest::keyClick(stage.address->field(2), Qt::Key_Backspace);
        QTest::keyClick(stage.address->field(2), Qt::Key_Backspace);
        QCOMPARE(edits(spy), (QList<QList<int>>{{2, 3}, {2, 30}, {2, 3}, {2, -1}}));
        QCOMPARE(stage.address->fields()[2], AddressEdit::blank);
    }

    void aValueAbove255BecomesTheTopOfTheRange() {
        Stage stage;
        QSignalSpy spy(stage.address, &AddressEdit::fieldEdited);
        QTest::keyClicks(stage.address->field(1), "300");
        QCOMPARE(stage.address->field(1)->text(), QStringLiteral("255"));
        QCOMPARE(edits(spy).last(), (QList<int>{1, 255}));
    }

    void lettersAndOtherDigitsAreRefused() {
        Stage stage;
        QSignalSpy spy(stage.address, &AddressEdit::fieldEdited);
        QTest::keyClicks(stage.address->field(0), "a-x ");
        // Full-width and Arabic-Indic digits come from an input method.
        for (const QString& text : {QStringLiteral("１"), QStringLiteral("٣")}) {
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(stage.address->field(0), &event);
        }
        QCOMPARE(stage.address->field(0)->text(), QString());
        QCOMPARE(spy.count(), 0);
        // The same path takes an ASCII digit.
        QInputMethodEvent event;
        event.setCommitString(QStringLiteral("7"));
        QApplication::sendEvent(stage.address->field(0), &event);
        QCOMPARE(stage.address->fields()[0], 7);
    }

    void backspaceAndArrowsCrossFieldEdges() {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowActive(&stage.window));
        stage.address->setFields({10, -1, -1, -1});
        stage.address->field(1)->setFocus();
        QTest::keyClick(stage.address->field(1), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
        QCOMPARE(stage.address->field(0)->cursorPosition(), 2);
        QTest::keyClick(stage.address->field(0), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(1));
        QTest::keyClick(stage.address->field(1), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
        // Inside a field the arrows move the cursor only.
        QTest::keyClick(stage.address->field(0), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
        QCOMPARE(stage.address->field(0)->cursorPosition(), 1);
    }

    void theControlIsOneTabStop() {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowActive(&stage.window));
        stage.before->setFocus();
        QTest::keyClick(stage.before, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
        QTest::keyClick(stage.address->field(0), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), stage.after);
        // Leaving from an inner field goes on to the next control as well.
        stage.address->field(2)->setFocus();
        QTest::keyClick(stage.address->field(2), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), stage.after);
        QTest::keyClick(stage.after, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), stage.address->field(0));
    }

    void settingFieldsReportsNothingAndKeepsAnEqualText() {
        Stage stage;
        QSignalSpy spy(stage.address, &AddressEdit::fieldEdited);
        QTest::keyClicks(stage.address->field(0), "010");
        const int typed = spy.count();
        stage.address->setFields({10, 0, 255, -1});
        QCOMPARE(spy.count(), typed);
        // "010" already means 10, so the operator's text stays.
        QCOMPARE(stage.address->field(0)->text(), QStringLiteral("010"));
        QCOMPARE(stage.address->field(1)->text(), QStringLiteral("0"));
        QCOMPARE(stage.address->field(3)->text(), QString());
        stage.address->setFields({-1, -1, -1, -1});
        QCOMPARE(stage.address->fields(), (AddressEdit::Fields{-1, -1, -1, -1}));
    }
};

TAMRO_QT_TEST_MAIN(AddressEditTest)
#include "address_edit_test.moc"
