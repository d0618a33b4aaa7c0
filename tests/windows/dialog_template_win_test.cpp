// Dialog template 102 as this program carries it, against the template
// table: the compiled resource item by item, and the dialog the system
// builds from it.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dialog_driver_win.h"
#include "platform/wide_text_win.h"
#include "ui/dialog_template.h"
#include "ui/win32/resource_spelling.h"

namespace tamro::testing {
namespace {

std::wstring wide(std::string_view text) { return wideFromUtf8(text); }

// --- the compiled template ----------------------------------------------------

struct ResourceItem {
    DWORD exStyle = 0;
    DWORD style = 0;
    DialogRect rect;
    std::int32_t id = 0;
    std::wstring windowClass;  // predefined classes by name
    std::wstring text;
};

struct ResourceDialog {
    DWORD exStyle = 0;
    DWORD style = 0;
    DialogRect rect;
    bool hasMenu = false;
    std::wstring title;
    int points = 0;
    std::wstring font;
    std::vector<ResourceItem> items;
};

// Reads an extended dialog template, checking every bound; nothing when it
// is no such template or runs past its end.
class TemplateReader {
public:
    TemplateReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::optional<ResourceDialog> read() {
        ResourceDialog dialog;
        const auto version = word(), signature = word();
        if (!version || !signature || *version != 1 || *signature != 0xFFFF) return std::nullopt;
        if (!dword() /* help id */) return std::nullopt;
        const auto ex = dword(), style = dword();
        const auto count = word();
        if (!ex || !style || !count) return std::nullopt;
        dialog.exStyle = *ex;
        dialog.style = *style;
        if (!rect(dialog.rect)) return std::nullopt;
        auto menu = nameOrOrdinal();
        auto windowClass = nameOrOrdinal();
        auto title = string();
        if (!menu || !windowClass || !title) return std::nullopt;
        dialog.hasMenu = !menu->empty();
        dialog.title = *title;
        if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
            const auto points = word(), weight = word(), flags = word();
            auto font = string();
            if (!points || !weight || !flags || !font) return std::nullopt;
            dialog.points = *points;
            dialog.font = *font;
        }
        for (unsigned i = 0; i < *count; ++i) {
            align();
            ResourceItem item;
            const auto help = dword(), itemEx = dword(), itemStyle = dword();
            if (!help || !itemEx || !itemStyle || !rect(item.rect)) return std::nullopt;
            const auto id = dword();
            auto itemClass = nameOrOrdinal();
            auto text = nameOrOrdinal();
            const auto extra = word();
            if (!id || !itemClass || !text || !extra || !skip(*extra)) return std::nullopt;
            item.exStyle = *itemEx;
            item.style = *itemStyle;
            item.id = static_cast<std::int32_t>(*id);
            item.windowClass = *itemClass;
            item.text = *text;
            dialog.items.push_back(item);
        }
        return dialog;
    }

private:
    std::optional<std::uint16_t> word() {
        if (at_ > size_ || size_ - at_ < 2) return std::nullopt;
        std::uint16_t value;
        std::memcpy(&value, data_ + at_, 2);
        at_ += 2;
        return value;
    }
    std::optional<std::uint32_t> dword() {
        if (at_ > size_ || size_ - at_ < 4) return std::nullopt;
        std::uint32_t value;
        std::memcpy(&value, data_ + at_, 4);
        at_ += 4;
        return value;
    }
    bool rect(DialogRect& r) {
        std::int16_t parts[4];
        for (auto& part : parts) {
            const auto value = word();
            if (!value) return false;
            part = static_cast<std::int16_t>(*value);
        }
        r = {parts[0], parts[1], parts[2], parts[3]};
        return true;
    }
    bool skip(std::size_t bytes) {
        if (size_ - at_ < bytes) return false;
        at_ += bytes;
        return true;
    }
    void align() { at_ = std::min(size_, (at_ + 3) & ~std::size_t{3}); }
    std::optional<std::wstring> string() {
        std::wstring text;
        for (;;) {
            const auto c = word();
            if (!c) return std::nullopt;
            if (*c == 0) return text;
            text += static_cast<wchar_t>(*c);
        }
    }
    // A class given by ordinal reads as the predefined class's name.
    std::optional<std::wstring> nameOrOrdinal() {
        const auto first = word();
        if (!first) return std::nullopt;
        if (*first == 0) return std::wstring();
        if (*first == 0xFFFF) {
            const auto ordinal = word();
            if (!ordinal) return std::nullopt;
            static const std::map<std::uint16_t, std::wstring> predefined = {
                {0x80, L"BUTTON"}, {0x81, L"EDIT"},      {0x82, L"STATIC"},
                {0x83, L"LISTBOX"}, {0x84, L"SCROLLBAR"}, {0x85, L"COMBOBOX"}};
            const auto found = predefined.find(*ordinal);
            return found != predefined.end() ? found->second : L"#" + std::to_wstring(*ordinal);
        }
        at_ -= 2;
        return string();
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::optional<ResourceDialog> loadTemplate() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(dialogResourceId), MAKEINTRESOURCEW(5));
    if (found == nullptr) return std::nullopt;
    const HGLOBAL loaded = ::LoadResource(module, found);
    const auto* data = static_cast<const unsigned char*>(::LockResource(loaded));
    if (data == nullptr) return std::nullopt;
    return TemplateReader(data, ::SizeofResource(module, found)).read();
}

std::wstring upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}

// What each kind's style names stand for.
DWORD styleValue(std::string_view name) {
    static const std::map<std::string_view, DWORD> values = {
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST}, {"WS_VSCROLL", WS_VSCROLL},
        {"ES_NUMBER", ES_NUMBER},               {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"WS_BORDER", WS_BORDER},               {"LBS_NOTIFY", LBS_NOTIFY},
        {"SS_LEFT", SS_LEFT},                   {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},       {"BS_GROUPBOX", BS_GROUPBOX},
        {"SS_ETCHEDHORZ", SS_ETCHEDHORZ},
    };
    const auto found = values.find(name);
    return found != values.end() ? found->second : 0xFFFFFFFFu;
}

DWORD dialogStyleValue(DialogStyle style) {
    switch (style) {
        case DialogStyle::popup: return WS_POPUP;
        case DialogStyle::visible: return WS_VISIBLE;
        case DialogStyle::caption: return WS_CAPTION;
        case DialogStyle::systemMenu: return WS_SYSMENU;
        case DialogStyle::minimizeBox: return WS_MINIMIZEBOX;
        case DialogStyle::modalFrame: return DS_MODALFRAME;
        case DialogStyle::setFont: return DS_SETFONT;
        case DialogStyle::appWindow: return WS_EX_APPWINDOW;
    }
    return 0;
}

bool takesFocus(ControlKind kind) {
    return kind != ControlKind::text && kind != ControlKind::groupBox && kind != ControlKind::rule;
}

TEST(DialogResource, EveryStyleHasItsOwnSpelling) {
    std::set<std::string_view> resourceNames;
    for (const DialogStyle style : allDialogStyles) {
        resourceNames.insert(styleResourceName(style));
        EXPECT_EQ(isExtendedStyle(style), styleResourceName(style).starts_with("WS_EX_"))
            << styleResourceName(style);
    }
    EXPECT_EQ(resourceNames.size(), allDialogStyles.size());
    EXPECT_EQ(windowClassName(ControlKind::address), "SysIPAddress32");
}

TEST(DialogResource, TheDialogIsTheTablesDialog) {
    const auto dialog = loadTemplate();
    ASSERT_TRUE(dialog.has_value());
    DWORD style = 0, exStyle = 0;
    for (const DialogStyle s : allDialogStyles) {
        if (!setupDialogTemplate.has(s)) continue;
        (isExtendedStyle(s) ? exStyle : style) |= dialogStyleValue(s);
    }
    EXPECT_EQ(dialog->style, style);
    EXPECT_EQ(dialog->exStyle, exStyle);
    EXPECT_EQ(dialog->rect, (DialogRect{0, 0, setupDialogTemplate.width, setupDialogTemplate.height}));
    EXPECT_FALSE(dialog->hasMenu);
    EXPECT_EQ(dialog->title, wide(setupDialogTemplate.title));
    EXPECT_EQ(dialog->points, setupDialogTemplate.fontPoints);
    EXPECT_EQ(dialog->font, wide("ＭＳ Ｐゴシック"));
}

TEST(DialogResource, EveryItemIsTheTablesItem) {
    const auto dialog = loadTemplate();
    ASSERT_TRUE(dialog.has_value());
    const auto items = templateItems();
    ASSERT_EQ(dialog->items.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TemplateItem& expected = items[i];
        const ResourceItem& item = dialog->items[i];
        SCOPED_TRACE(::testing::Message() << "item " << i << " " << expected.name);
        EXPECT_EQ(item.id, controlNumber(expected.id));
        EXPECT_EQ(upper(item.windowClass), upper(wide(windowClassName(expected.kind))));
        EXPECT_EQ(item.rect, expected.rect);
        EXPECT_EQ(item.text, wide(expected.text));
        DWORD style = WS_CHILD | WS_VISIBLE | (takesFocus(expected.kind) ? WS_TABSTOP : 0);
        for (const std::string_view name : kindStyleNames(expected.kind)) style |= styleValue(name);
        EXPECT_EQ(item.style, style);
        EXPECT_EQ(item.exStyle, 0u);
    }
}

TEST(DialogResource, KindsCarryTheirDefiningStyles) {
    // Spelt out once more by what each kind must and must not be, so that
    // a wrong name in the table cannot hide behind itself.
    const auto dialog = loadTemplate();
    ASSERT_TRUE(dialog.has_value());
    const auto items = templateItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DWORD style = dialog->items[i].style;
        SCOPED_TRACE(::testing::Message() << "item " << i << " " << items[i].name);
        switch (items[i].kind) {
            case ControlKind::combo:
                EXPECT_EQ(style & 0x3u, static_cast<DWORD>(CBS_DROPDOWNLIST));  // no typing
                EXPECT_EQ(style & CBS_SORT, 0u);
                EXPECT_NE(style & WS_VSCROLL, 0u);
                break;
            case ControlKind::edit:
                EXPECT_NE(style & ES_NUMBER, 0u);
                EXPECT_NE(style & ES_AUTOHSCROLL, 0u);
                EXPECT_NE(style & WS_BORDER, 0u);
                EXPECT_EQ(style & ES_MULTILINE, 0u);
                break;
            case ControlKind::list:
                EXPECT_NE(style & LBS_NOTIFY, 0u);
                EXPECT_NE(style & WS_BORDER, 0u);
                EXPECT_NE(style & WS_VSCROLL, 0u);
                EXPECT_EQ(style & LBS_SORT, 0u);
                break;
            case ControlKind::checkBox: EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX)); break;
            case ControlKind::pushButton: EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON)); break;
            case ControlKind::groupBox: EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_GROUPBOX)); break;
            case ControlKind::rule:
                EXPECT_EQ(style & SS_TYPEMASK, static_cast<DWORD>(SS_ETCHEDHORZ));
                EXPECT_EQ(items[i].rect.height, 1);
                break;
            case ControlKind::text: EXPECT_EQ(style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT)); break;
            case ControlKind::address: EXPECT_EQ(upper(dialog->items[i].windowClass), L"SYSIPADDRESS32"); break;
        }
    }
}

// --- the dialog the system builds from it ---------------------------------------

INT_PTR CALLBACK bareProcedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(DialogResource, TheSystemBuildsEveryItemWhereTheTableSays) {
    const HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialogResourceId),
                                             nullptr, &bareProcedure, 0);
    ASSERT_NE(window, nullptr) << ::GetLastError();
    EXPECT_EQ(windowText(window), wide(setupDialogTemplate.title));
    EXPECT_NE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    for (const DWORD bit : std::initializer_list<DWORD>{WS_POPUP, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX}) {
        EXPECT_EQ(static_cast<DWORD>(style) & bit, bit);
    }
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), wide(setupDialogTemplate.fontName));

    std::vector<HWND> children;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    const auto items = templateItems();
    ASSERT_EQ(children.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TemplateItem& item = items[i];
        const HWND child = children[i];
        SCOPED_TRACE(::testing::Message() << "item " << i << " " << item.name);
        EXPECT_EQ(::GetDlgCtrlID(child), controlNumber(item.id));
        EXPECT_EQ(upper(className(child)), upper(wide(windowClassName(item.kind))));
        if (item.kind != ControlKind::address && item.kind != ControlKind::combo) {
            EXPECT_EQ(windowText(child), wide(item.text));
        }
        EXPECT_TRUE(::IsWindowVisible(child));

        // Place and size are converted each on its own, as the system does.
        RECT mapped{item.rect.x, item.rect.y, item.rect.width, item.rect.height};
        ASSERT_TRUE(::MapDialogRect(window, &mapped));
        RECT actual{};
        LRESULT row = 0;
        if (item.kind == ControlKind::combo) {
            // The height is the closed field and its dropped list together.
            ::SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&actual));
            row = ::SendMessageW(child, CB_GETITEMHEIGHT, 0, 0);
        } else {
            ::GetWindowRect(child, &actual);
            if (item.kind == ControlKind::list) row = ::SendMessageW(child, LB_GETITEMHEIGHT, 0, 0);
        }
        ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, mapped.left);
        EXPECT_EQ(actual.top, mapped.top);
        const LONG width = actual.right - actual.left;
        const LONG height = actual.bottom - actual.top;
        if (item.kind == ControlKind::rule) {
            // The etched line brings its own two-pixel frame.
            EXPECT_GE(width, mapped.right);
            EXPECT_LE(width, mapped.right + 2);
            EXPECT_LE(height, mapped.bottom + 2);
            continue;
        }
        EXPECT_EQ(width, mapped.right);
        // Lists keep to whole rows: up to one row short of the template; a
        // combo's list also gives up the room of its closed field.
        LONG slack = row;
        if (item.kind == ControlKind::combo) {
            RECT closed{};
            ::GetWindowRect(child, &closed);
            slack += closed.bottom - closed.top;
        }
        EXPECT_LE(height, mapped.bottom);
        EXPECT_GE(height, mapped.bottom - slack);
        if (row == 0) {
            EXPECT_EQ(height, mapped.bottom);
        }
    }
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace tamro::testing
