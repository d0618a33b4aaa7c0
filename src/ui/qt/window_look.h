#pragma once

#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>

class QApplication;

namespace tamro::qt {

// The program's look, shared by the window, its message boxes, the tests
// and the picture renderer: the dialog font, the application icon, and a
// style whose drop-down lists open below the control.
void applyWindowLook(QApplication& app);

// IPAPGothic 9 pt first: it has the metrics the template was laid out for
// and every glyph the dialog's texts use.
QFont dialogFont();

// `base`, or the least narrowed form of it in which every text fits `room`
// pixels: the glyphs condensed where the font allows it, else set closer.
// The template's boxes are narrow for these fonts; a text is narrowed a
// little rather than cut.
QFont fontFitting(const QFont& base, const QStringList& texts, int room);

QIcon applicationIcon();

// The executable's file name without its extension: the caption of every
// message box.
QString programName();

}  // namespace tamro::qt
