#include "ui/qt/qt_front_end.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <utility>

#include "platform/text.h"
#include "ui/qt/setup_window.h"
#include "ui/qt/window_look.h"

namespace tamro::qt {

QtFrontEnd::~QtFrontEnd() {
    waitForWorkers();
    setBusy(false);
}

void QtFrontEnd::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

MessageAnswer QtFrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    if (QThread::currentThread() != thread()) {
        MessageAnswer answer = MessageAnswer::cancel;
        runOnDialogThread([&] { answer = showMessage(text, buttons); });
        return answer;
    }
    // The box shows over the form as the logic has left it so far.
    mirrorForm();
    QMessageBox box(window_);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(programName());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    if (buttons == MessageButtons::okCancel) {
        box.addButton(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    }
    box.exec();
    return box.clickedButton() == ok ? MessageAnswer::ok : MessageAnswer::cancel;
}

void QtFrontEnd::endDialog(int result) {
    endResult_ = result;
    if (window_ != nullptr && window_->isVisible()) window_->done(result);
}

void QtFrontEnd::startWorker(std::function<void()> work) {
    QThread* thread = QThread::create(std::move(work));
    workers_.push_back(thread);
    if (window_ != nullptr) window_->holdEnd(true);
    // Queued to this object's thread: the worker is gone before it is reaped.
    connect(thread, &QThread::finished, this, [this, thread] { workerFinished(thread); },
            Qt::QueuedConnection);
    thread->start();
}

void QtFrontEnd::workerFinished(QThread* thread) {
    const auto found = std::find(workers_.begin(), workers_.end(), thread);
    if (found == workers_.end()) return;
    workers_.erase(found);
    thread->wait();
    delete thread;
    mirrorForm();
    if (!workers_.empty()) return;
    if (window_ != nullptr) window_->holdEnd(false);
    if (waiting_ != nullptr) waiting_->quit();
}

void QtFrontEnd::runOnDialogThread(std::function<void()> task) {
    const auto run = [this, &task] {
        task();
        mirrorForm();
    };
    // Blocking into our own thread would wait for ever.
    if (QThread::currentThread() == thread()) {
        run();
        return;
    }
    QMetaObject::invokeMethod(this, run, Qt::BlockingQueuedConnection);
}

void QtFrontEnd::mirrorForm() {
    if (window_ != nullptr) window_->mirrorForm();
}

void QtFrontEnd::waitForWorkers() {
    if (workers_.empty()) return;
    QEventLoop loop;
    waiting_ = &loop;
    loop.exec();
    waiting_ = nullptr;
}

}  // namespace tamro::qt
