#include "ui/qt/dialog_geometry.h"

#include <algorithm>
#include <optional>

namespace tamro::qt {

namespace {

// Where the template puts an item, unit by unit.
QRect templateRect(const TemplateItem& item) {
    const int height =
        item.kind == ControlKind::combo ? comboClosedHeight : pixelsY(item.rect.height);
    return {pixelsX(item.rect.x), pixelsY(item.rect.y), pixelsX(item.rect.width), height};
}

// Between a row's label and its current value.
constexpr int itemGap = 2;

bool growsToTheRight(const TemplateItem& item) {
    return item.kind == ControlKind::text || item.kind == ControlKind::checkBox;
}

// A label in front of a control of the right-hand columns.
bool isRowLabel(const TemplateItem& item) {
    if (item.numbered() || item.labelFor == ControlId::none) return false;
    const TemplateItem* control = findControl(item.labelFor);
    return control != nullptr && control->area == Area::newSetting;
}

// The protocol row's label starts where the rows' headings do; the
// indented rows may start there too.
int rowLabelsLeft() {
    for (const TemplateItem& item : templateItems()) {
        if (isRowLabel(item) && item.labelFor == ControlId::protocolCombo) return item.rect.x;
    }
    return 0;
}

std::optional<QRect> enclosingGroup(const QRect& rect) {
    for (const TemplateItem& item : templateItems()) {
        if (item.kind != ControlKind::groupBox) continue;
        const QRect group = templateRect(item);
        if (group.contains(rect)) return group;
    }
    return std::nullopt;
}

// How far right the text may run: up to the next item on its row, within
// its group's inner margin (as wide as the margin on its left) or the
// dialog's right margin.
int roomRight(const TemplateItem& self, const QRect& rect) {
    int right = 0;
    if (const std::optional<QRect> group = enclosingGroup(rect)) {
        right = group->right() + 1 - (rect.left() - group->left());
    } else {
        const int dialogRight = pixelsX(setupDialogTemplate.width);
        int widest = 0;
        for (const TemplateItem& item : templateItems()) {
            widest = std::max(widest, templateRect(item).right() + 1);
        }
        right = std::max(widest, rect.right() + 1);
        right = std::min(right, dialogRight);
    }
    for (const TemplateItem& item : templateItems()) {
        if (&item == &self || item.kind == ControlKind::groupBox) continue;
        const QRect other = templateRect(item);
        const bool sameRow = other.top() <= rect.bottom() && other.bottom() >= rect.top();
        // The template's own gap before the next item stays.
        if (sameRow && other.left() >= rect.right() + 1) {
            right = std::min(right, other.left() - pixelsX(itemGap));
        }
    }
    return right;
}

}  // namespace

QRect itemRect(const TemplateItem& item) {
    QRect rect = templateRect(item);
    if (!growsToTheRight(item)) return rect;
    if (isRowLabel(item)) rect.setLeft(std::min(rect.left(), pixelsX(rowLabelsLeft())));
    const int right = roomRight(item, templateRect(item));
    if (right > rect.right() + 1) rect.setRight(right - 1);
    return rect;
}

int comboDropHeight(const TemplateItem& item) {
    return std::max(0, pixelsY(item.rect.height) - comboClosedHeight);
}

QSize dialogClientSize() {
    return {pixelsX(setupDialogTemplate.width), pixelsY(setupDialogTemplate.height)};
}

}  // namespace tamro::qt
