#pragma once

#include <QLineEdit>
#include <QWidget>
#include <array>

class QPaintEvent;
class QResizeEvent;

namespace tamro::qt {

// A four-field IPv4 entry in the manner of the platform's address control:
// each field blank or 0-255, ASCII digits only, a value above 255 becomes
// 255, three digits or a dot move on to the next field, Backspace in an
// empty field and the arrow keys at a field's edge move back and forth. It
// is one tab stop: Tab enters at the first field and leaves from any.
class AddressEdit : public QWidget {
    Q_OBJECT

public:
    static constexpr int blank = -1;
    using Fields = std::array<int, 4>;

    explicit AddressEdit(QWidget* parent = nullptr);

    // A program's change: reports nothing. A field whose text already reads
    // as that value keeps it ("010" stays while it means 10).
    void setFields(const Fields& fields);
    Fields fields() const;
    QLineEdit* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

signals:
    // The user changed one field; `value` is blank (-1) or 0-255.
    void fieldEdited(int field, int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onTextEdited(int index, const QString& text);
    void moveTo(int index, bool selectAll, bool atEnd);
    int indexOf(const QObject* object) const;
    void layoutFields();

    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace tamro::qt
