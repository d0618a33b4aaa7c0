#pragma once

#include <QListWidget>

namespace tamro::qt {

// A list widget that behaves as the platform's single-selection list box:
// only the user's choice of an entry is reported, the entry already chosen
// included, and the user cannot empty the selection. Receiving the focus
// chooses nothing. Changes made by the program report nothing.
class ListBox : public QListWidget {
    Q_OBJECT

public:
    explicit ListBox(QWidget* parent = nullptr);

    // The selected row, or -1.
    int selectedRow() const;
    // Selects `row` (-1: none) without reporting it; the keyboard's cursor
    // follows, so that no row is current without being selected.
    void showSelection(int row);

signals:
    // The user chose the entry at `row`: a click on it, or the keys moved
    // the selection there.
    void entryChosen(int row);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tamro::qt
