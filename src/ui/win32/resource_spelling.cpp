#include "ui/win32/resource_spelling.h"

#include <array>

namespace tamro {

namespace {

constexpr std::array<std::string_view, 2> comboStyles = {"CBS_DROPDOWNLIST", "WS_VSCROLL"};
constexpr std::array<std::string_view, 3> editStyles = {"ES_NUMBER", "ES_AUTOHSCROLL", "WS_BORDER"};
constexpr std::array<std::string_view, 3> listStyles = {"LBS_NOTIFY", "WS_VSCROLL", "WS_BORDER"};
constexpr std::array<std::string_view, 1> textStyles = {"SS_LEFT"};
constexpr std::array<std::string_view, 1> checkStyles = {"BS_AUTOCHECKBOX"};
constexpr std::array<std::string_view, 1> pushStyles = {"BS_PUSHBUTTON"};
constexpr std::array<std::string_view, 1> groupStyles = {"BS_GROUPBOX"};
constexpr std::array<std::string_view, 1> ruleStyles = {"SS_ETCHEDHORZ"};

}  // namespace

std::string_view styleResourceName(DialogStyle style) {
    switch (style) {
        case DialogStyle::popup: return "WS_POPUP";
        case DialogStyle::visible: return "WS_VISIBLE";
        case DialogStyle::caption: return "WS_CAPTION";
        case DialogStyle::systemMenu: return "WS_SYSMENU";
        case DialogStyle::minimizeBox: return "WS_MINIMIZEBOX";
        case DialogStyle::modalFrame: return "DS_MODALFRAME";
        case DialogStyle::setFont: return "DS_SETFONT";
        case DialogStyle::appWindow: return "WS_EX_APPWINDOW";
    }
    return {};
}

bool isExtendedStyle(DialogStyle style) { return style == DialogStyle::appWindow; }

std::string_view windowClassName(ControlKind kind) {
    switch (kind) {
        case ControlKind::combo: return "COMBOBOX";
        case ControlKind::edit: return "EDIT";
        case ControlKind::address: return "SysIPAddress32";
        case ControlKind::list: return "LISTBOX";
        case ControlKind::text:
        case ControlKind::rule: return "STATIC";
        case ControlKind::checkBox:
        case ControlKind::pushButton:
        case ControlKind::groupBox: return "BUTTON";
    }
    return {};
}

std::span<const std::string_view> kindStyleNames(ControlKind kind) {
    switch (kind) {
        case ControlKind::combo: return comboStyles;
        case ControlKind::edit: return editStyles;
        case ControlKind::address: return {};
        case ControlKind::list: return listStyles;
        case ControlKind::text: return textStyles;
        case ControlKind::checkBox: return checkStyles;
        case ControlKind::pushButton: return pushStyles;
        case ControlKind::groupBox: return groupStyles;
        case ControlKind::rule: return ruleStyles;
    }
    return {};
}

}  // namespace tamro
