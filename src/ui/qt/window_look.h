#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

class QApplication;

namespace tamro::qt {

// The program's look, shared by the window, its message boxes, the tests
// and the picture renderer: the dialog font, the application icon, and a
// style whose drop-down lists open below the control.
void applyWindowLook(QApplication& app);

// IPAPGothic 9 pt first: it has the metrics the template was laid out for
// and every glyph the dialog's texts use.
QFont dialogFont();

QIcon applicationIcon();

// The executable's file name without its extension: the caption of every
// message box.
QString programName();

}  // namespace tamro::qt
