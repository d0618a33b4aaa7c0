#include "ui/qt/list_box.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tamro::qt {

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true);
}

int ListBox::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void ListBox::showSelection(int row) {
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid()) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

// Ctrl+click, Ctrl+Space and a click beside the entries would toggle or
// clear the selection; the platform's list box keeps it, so the form's
// selection and the highlighted entry never part.
QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (command == QItemSelectionModel::NoUpdate) return command;
    return QItemSelectionModel::ClearAndSelect;
}

// The view makes its first row current on receiving the focus; a current
// row that is not selected is the start of a choice, not a choice.
void ListBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    if (selectedRow() < 0 && currentIndex().isValid()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

// Every press on an entry is a choice, the selected one included.
void ListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && selectedRow() == index.row()) {
        emit entryChosen(index.row());
    }
}

// Dragging with the button held moves the selection along.
void ListBox::mouseMoveEvent(QMouseEvent* event) {
    const int before = selectedRow();
    QListWidget::mouseMoveEvent(event);
    const int after = selectedRow();
    if (after >= 0 && after != before) emit entryChosen(after);
}

void ListBox::keyPressEvent(QKeyEvent* event) {
    const int before = selectedRow();
    QListWidget::keyPressEvent(event);
    const int after = selectedRow();
    if (after >= 0 && after != before) emit entryChosen(after);
}

}  // namespace tamro::qt
