#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

// Answers the program's modal message boxes from inside their own event
// loop: a timer looks for the active modal box, notes what it showed and
// presses the next answer in line (OK when the line is empty).
class MessageBoxAnswerer : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QList<QMessageBox::StandardButton> buttons;
        QWidget* parent = nullptr;
        bool modal = false;
    };

    MessageBoxAnswerer() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

    void queueAnswer(QMessageBox::StandardButton answer) { answers_.append(answer); }

    const QList<Seen>& seen() const { return seen_; }
    QStringList texts() const {
        QStringList result;
        for (const Seen& box : seen_) result.append(box.text);
        return result;
    }
    void clear() { seen_.clear(); }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box == current_) return;
        current_ = box;
        Seen seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) seen.buttons.append(box->standardButton(button));
        seen.parent = box->parentWidget();
        seen.modal = box->isModal();
        seen_.append(seen);
        const QMessageBox::StandardButton answer =
            answers_.isEmpty() ? QMessageBox::Ok : answers_.takeFirst();
        QAbstractButton* button = box->button(answer);
        if (button == nullptr) button = box->buttons().value(0);
        button->click();
    }

    QTimer timer_;
    QList<QMessageBox::StandardButton> answers_;
    QList<Seen> seen_;
    QPointer<QMessageBox> current_;
};
