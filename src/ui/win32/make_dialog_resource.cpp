// make_dialog_resource OUTPUT.rc: writes dialog template 102 as a resource
// script from the template table, so the table stays the one source of the
// dialog's items. Built for the build host and run while cross-building.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "ui/dialog_template.h"
#include "ui/win32/resource_spelling.h"

namespace {

using namespace tamro;

// A resource string: a double quote is written twice.
std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"') result += '"';
        result += c;
    }
    return result + '"';
}

bool takesFocus(ControlKind kind) {
    switch (kind) {
        case ControlKind::combo:
        case ControlKind::edit:
        case ControlKind::address:
        case ControlKind::list:
        case ControlKind::checkBox:
        case ControlKind::pushButton: return true;
        case ControlKind::text:
        case ControlKind::groupBox:
        case ControlKind::rule: return false;
    }
    return false;
}

std::string controlStyle(ControlKind kind) {
    std::string style = "WS_CHILD | WS_VISIBLE";
    for (const std::string_view name : kindStyleNames(kind)) {
        style += " | ";
        style += name;
    }
    if (takesFocus(kind)) style += " | WS_TABSTOP";
    return style;
}

std::string dialogStyles(bool extended) {
    std::string styles;
    for (const DialogStyle style : allDialogStyles) {
        if (!setupDialogTemplate.has(style) || isExtendedStyle(style) != extended) continue;
        if (!styles.empty()) styles += " | ";
        styles += styleResourceName(style);
    }
    return styles;
}

std::string resourceScript() {
    const DialogTemplate& dialog = setupDialogTemplate;
    std::string script =
        "// Made by make_dialog_resource from the dialog template table; do not edit.\n"
        "#pragma code_page(65001)\n"
        "#include <windows.h>\n\n";
    script += std::to_string(dialogResourceId) + " DIALOGEX 0, 0, " +
              std::to_string(dialog.width) + ", " + std::to_string(dialog.height) + "\n";
    script += "STYLE " + dialogStyles(false) + "\n";
    const std::string extended = dialogStyles(true);
    if (!extended.empty()) script += "EXSTYLE " + extended + "\n";
    script += "CAPTION " + quoted(dialog.title) + "\n";
    // Weight 0, not italic, the default character set.
    script += "FONT " + std::to_string(dialog.fontPoints) + ", " + quoted(dialog.fontName) +
              ", 0, 0, 0x1\n";
    script += "BEGIN\n";
    for (const TemplateItem& item : templateItems()) {
        const DialogRect& r = item.rect;
        script += "  CONTROL " + quoted(item.text) + ", " +
                  std::to_string(controlNumber(item.id)) + ", " +
                  quoted(windowClassName(item.kind)) + ", " + controlStyle(item.kind) + ", " +
                  std::to_string(r.x) + ", " + std::to_string(r.y) + ", " +
                  std::to_string(r.width) + ", " + std::to_string(r.height) + "\n";
    }
    script += "END\n";
    return script;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_dialog_resource OUTPUT.rc\n";
        return 2;
    }
    const std::string script = resourceScript();
    // Written only when it changed, so that an unchanged table relinks nothing.
    {
        std::ifstream old(argv[1], std::ios::binary);
        const std::string existing((std::istreambuf_iterator<char>(old)),
                                   std::istreambuf_iterator<char>());
        if (old && existing == script) return 0;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << script;
    out.flush();
    if (!out) {
        std::cerr << "make_dialog_resource: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
