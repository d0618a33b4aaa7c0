#pragma once

#include <QRect>
#include <QSize>

#include "ui/dialog_template.h"

namespace tamro::qt {

// Dialog units become pixels through fixed base units rather than the
// metrics of whatever font Linux picks, so the window keeps the layout the
// template was drawn for: x = du * 6 / 4, y = du * 12 / 8, rounded half up as
// the Windows dialog manager's MulDiv does.
inline constexpr int baseUnitX = 6;
inline constexpr int baseUnitY = 12;

constexpr int pixelsX(int dialogUnits) { return (dialogUnits * baseUnitX * 2 + 4) / 8; }
constexpr int pixelsY(int dialogUnits) { return (dialogUnits * baseUnitY * 2 + 8) / 16; }

// A closed drop-down list: the template's height includes the dropped list.
// 20 px is the tallest that keeps the stacked serial lists from touching.
inline constexpr int comboClosedHeight = 20;

// Where an item sits in the client area. Left, top, width and height are
// mapped one by one; a combo gets its closed height. The fonts here are
// wider than the template's, so a text or a check box keeps its place but
// reaches up to the next item on its row (or its group's margin), and the
// row labels of the right-hand columns all start where the first ones do.
QRect itemRect(const TemplateItem& item);

// The dropped list's height in pixels: what the template adds below the
// closed combo.
int comboDropHeight(const TemplateItem& item);

QSize dialogClientSize();

}  // namespace tamro::qt
