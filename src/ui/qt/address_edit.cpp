#include "ui/qt/address_edit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace tamro::qt {

namespace {

constexpr int maxFieldValue = 255;

int valueOf(const QString& text) {
    if (text.isEmpty()) return AddressEdit::blank;
    return text.toInt();
}

}  // namespace

AddressEdit::AddressEdit(QWidget* parent) : QWidget(parent) {
    // [0-9], not \d: full-width and other scripts' digits are refused too.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,3}"));
    for (int i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        edit->setMaxLength(3);
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        // The first field is the control's one tab stop; the others are
        // reached by typing, clicking or the arrow keys.
        edit->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { onTextEdited(i, text); });
        fields_[static_cast<std::size_t>(i)] = edit;
    }
    setFocusProxy(fields_[0]);
}

void AddressEdit::setFields(const Fields& values) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int value = values[i] < 0 ? blank : std::min(values[i], maxFieldValue);
        QLineEdit* edit = fields_[i];
        if (valueOf(edit->text()) == value) continue;
        edit->setText(value == blank ? QString() : QString::number(value));
    }
}

AddressEdit::Fields AddressEdit::fields() const {
    Fields values{};
    for (std::size_t i = 0; i < fields_.size(); ++i) values[i] = valueOf(fields_[i]->text());
    return values;
}

void AddressEdit::onTextEdited(int index, const QString& text) {
    QLineEdit* edit = field(index);
    int value = valueOf(text);
    if (value > maxFieldValue) {
        // The platform's control puts the top of the range in, too.
        value = maxFieldValue;
        edit->setText(QString::number(value));
    }
    emit fieldEdited(index, value);
    if (text.size() == 3 && edit->cursorPosition() == 3 && index < 3) {
        moveTo(index + 1, true, false);
    }
}

void AddressEdit::moveTo(int index, bool selectAll, bool atEnd) {
    QLineEdit* edit = field(index);
    edit->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        edit->selectAll();
    } else {
        edit->setCursorPosition(atEnd ? static_cast<int>(edit->text().size()) : 0);
    }
}

int AddressEdit::indexOf(const QObject* object) const {
    for (int i = 0; i < 4; ++i) {
        if (fields_[static_cast<std::size_t>(i)] == object) return i;
    }
    return -1;
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = indexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* edit = field(index);
    const bool atStart = edit->cursorPosition() == 0 && !edit->hasSelectedText();
    const bool atEnd = edit->cursorPosition() == edit->text().size() && !edit->hasSelectedText();
    switch (key->key()) {
        case Qt::Key_Period:
            // A dot finishes a field that has digits; it is never typed.
            if (!edit->text().isEmpty() && index < 3) moveTo(index + 1, true, false);
            return true;
        case Qt::Key_Backspace:
            if (edit->text().isEmpty() && index > 0) {
                moveTo(index - 1, false, true);
                return true;
            }
            break;
        case Qt::Key_Left:
            if (atStart && index > 0 && key->modifiers() == Qt::NoModifier) {
                moveTo(index - 1, false, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (atEnd && index < 3 && key->modifiers() == Qt::NoModifier) {
                moveTo(index + 1, false, false);
                return true;
            }
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void AddressEdit::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
    // The dots between the fields.
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   QPalette::Text));
    for (std::size_t i = 0; i + 1 < fields_.size(); ++i) {
        const QRect left = fields_[i]->geometry();
        const QRect right = fields_[i + 1]->geometry();
        const QRect gap(left.right() + 1, left.top(), right.left() - left.right() - 1,
                        left.height());
        painter.drawText(gap, Qt::AlignCenter, QStringLiteral("."));
    }
}

void AddressEdit::resizeEvent(QResizeEvent*) { layoutFields(); }

void AddressEdit::layoutFields() {
    const int frameWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const QRect inner = rect().adjusted(frameWidth + 1, frameWidth, -frameWidth - 1, -frameWidth);
    const int dotWidth = fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2;
    const int fieldWidth = (inner.width() - 3 * dotWidth) / 4;
    int x = inner.left();
    for (QLineEdit* edit : fields_) {
        edit->setGeometry(x, inner.top(), fieldWidth, inner.height());
        x += fieldWidth + dotWidth;
    }
}

}  // namespace tamro::qt
