// The front end the dialog's logic talks to: message boxes, the end of the
// dialog, and the write worker's thread.
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

#include "fake_dialog_services.h"
#include "message_box_answerer.h"
#include "qt_test_main.h"
#include "ui/form.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/setup_dialog.h"

using tamro::ControlId;
using tamro::MessageAnswer;
using tamro::MessageButtons;
using tamro::qt::QtFrontEnd;
using tamro::qt::SetupWindow;

namespace {

struct Window {
    tamro::Form form;
    SetupWindow window{form};
    QtFrontEnd frontEnd{window};
};

}  // namespace

class QtFrontEndTest : public QObject {
    Q_OBJECT

private slots:
    void aMessageBoxIsTextOnlyUnderTheProgramsName() {
        Window w;
        MessageBoxAnswerer answerer;
        QCOMPARE(w.frontEnd.showMessage("通信エラー", MessageButtons::ok), MessageAnswer::ok);
        answerer.queueAnswer(QMessageBox::Cancel);
        QCOMPARE(w.frontEnd.showMessage("設定を書き込みます。", MessageButtons::okCancel),
                 MessageAnswer::cancel);
        answerer.queueAnswer(QMessageBox::Ok);
        QCOMPARE(w.frontEnd.showMessage("設定を書き込みます。", MessageButtons::okCancel),
                 MessageAnswer::ok);

        QCOMPARE(answerer.seen().size(), 3);
        for (const MessageBoxAnswerer::Seen& box : answerer.seen()) {
            // The executable's name, as the program has no title of its own.
            QCOMPARE(box.title, QStringLiteral("tamro_qt_front_end_tests"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
            QCOMPARE(box.parent, &w.window);
            QVERIFY(box.modal);
        }
        QCOMPARE(answerer.seen()[0].text, QStringLiteral("通信エラー"));
        QCOMPARE(answerer.seen()[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
        QCOMPARE(answerer.seen()[1].buttons,
                 (QList<QMessageBox::StandardButton>{QMessageBox::Ok, QMessageBox::Cancel}));
    }

    void aMessageShowsTheFormAsTheLogicLeftIt() {
        Window w;
        MessageBoxAnswerer answerer;
        w.form.setText(ControlId::portCurrent, "10001");
        w.frontEnd.showMessage("設定完了しました。\nデバイスを再起動します。", MessageButtons::ok);
        QCOMPARE(qobject_cast<QLabel*>(w.window.controlWidget(ControlId::portCurrent))->text(),
                 QStringLiteral("10001"));
        QCOMPARE(answerer.texts(),
                 QStringList{QStringLiteral("設定完了しました。\nデバイスを再起動します。")});
    }

    void theWorkerRunsOnItsOwnThreadAndReachesTheFormThroughTheDialogs() {
        Window w;
        Qt::HANDLE workerThread = nullptr;
        Qt::HANDLE taskThread = nullptr;
        std::atomic<bool> tick{false};
        bool sawTick = false;
        // The dialog's thread keeps running its timers while the worker waits.
        QTimer::singleShot(50, [&tick] { tick = true; });
        w.frontEnd.startWorker([&] {
            workerThread = QThread::currentThreadId();
            QDeadlineTimer deadline(5000);
            while (!tick && !deadline.hasExpired()) QThread::msleep(5);
            sawTick = tick;
            w.frontEnd.runOnDialogThread([&] {
                taskThread = QThread::currentThreadId();
                w.form.setText(ControlId::portCurrent, "written");
            });
        });
        QVERIFY(w.frontEnd.workerRunning());
        w.frontEnd.waitForWorkers();
        QVERIFY(!w.frontEnd.workerRunning());
        QVERIFY(sawTick);
        QVERIFY(workerThread != nullptr);
        QVERIFY(workerThread != QThread::currentThreadId());
        QCOMPARE(taskThread, QThread::currentThreadId());
        // Whatever the task changed is on screen once it has run.
        QCOMPARE(qobject_cast<QLabel*>(w.window.controlWidget(ControlId::portCurrent))->text(),
                 QStringLiteral("written"));
    }

    void theWorkersMessagesAreShownByTheDialogsThread() {
        Window w;
        MessageBoxAnswerer answerer;
        answerer.queueAnswer(QMessageBox::Cancel);
        MessageAnswer answer = MessageAnswer::ok;
        w.frontEnd.startWorker([&] {
            w.frontEnd.runOnDialogThread([&] {
                answer = w.frontEnd.showMessage("設定を書き込みます。", MessageButtons::okCancel);
            });
        });
        w.frontEnd.waitForWorkers();
        QCOMPARE(answer, MessageAnswer::cancel);
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen()[0].parent, &w.window);
    }

    // One wait cursor however often the logic says busy, and none once it
    // is done or the front end goes.
    void theBusyPointerComesAndGoesOnce() {
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        {
            Window w;
            w.frontEnd.setBusy(true);
            w.frontEnd.setBusy(true);
            QVERIFY(QGuiApplication::overrideCursor() != nullptr);
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            w.frontEnd.setBusy(false);
            QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
            w.frontEnd.setBusy(false);
            QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
            w.frontEnd.setBusy(true);
        }
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void anEndWaitsForTheRunningWrite() {
        Window w;
        w.window.open();
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QSemaphore release;
        w.frontEnd.startWorker([&release] { release.acquire(); });
        QTest::keyClick(&w.window, Qt::Key_Escape);
        w.window.close();
        QTest::qWait(50);
        QVERIFY(w.window.isVisible());
        release.release();
        QTRY_VERIFY(!w.window.isVisible());
        QCOMPARE(w.window.result(), SetupWindow::cancelResult);
        QVERIFY(!w.frontEnd.workerRunning());
    }

    void aFailedStartShowsItsMessagesAndNeverOpens() {
        MessageBoxAnswerer answerer;
        FakeDialogServices services;  // no adapter at all
        services.programPath = "/nonexistent/tamro";
        auto devices = std::make_unique<tamro::DeviceTable>();
        QtFrontEnd frontEnd;
        bool opened = false;
        tamro::runApplication(frontEnd, services, *devices, "", [&](tamro::SetupDialog&) {
            opened = true;
        });
        QVERIFY(!opened);
        QCOMPARE(frontEnd.endResult(), std::optional<int>(-1));
        QCOMPARE(answerer.texts(), (QStringList{QStringLiteral("datファイルが見つかりませんでした。"),
                                                QStringLiteral("ネットワークデバイスが見つかりませんでした。")}));
        // Before the window exists the boxes stand alone.
        QCOMPARE(answerer.seen()[0].parent, nullptr);

        // A model file named on the command line that fails ends the start
        // with its own message alone: no adapter is even looked for.
        answerer.clear();
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const QString path = directory.filePath(QStringLiteral("models.dat"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Other,100\nQZ-100,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n");
        file.close();
        QtFrontEnd second;
        tamro::runApplication(second, services, *devices, path.toStdString(),
                              [&](tamro::SetupDialog&) { opened = true; });
        QVERIFY(!opened);
        QCOMPARE(second.endResult(), std::optional<int>(-1));
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("datファイルが違います。")});
    }
};

TAMRO_QT_TEST_MAIN(QtFrontEndTest)
#include "qt_front_end_test.moc"
