#include "ui/qt/dialog_geometry.h"

#include <algorithm>

namespace tamro::qt {

QRect itemRect(const TemplateItem& item) {
    const int height =
        item.kind == ControlKind::combo ? comboClosedHeight : pixelsY(item.rect.height);
    return {pixelsX(item.rect.x), pixelsY(item.rect.y), pixelsX(item.rect.width), height};
}

int comboDropHeight(const TemplateItem& item) {
    return std::max(0, pixelsY(item.rect.height) - comboClosedHeight);
}

QSize dialogClientSize() {
    return {pixelsX(setupDialogTemplate.width), pixelsY(setupDialogTemplate.height)};
}

}  // namespace tamro::qt
