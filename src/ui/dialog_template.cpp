#include "ui/dialog_template.h"

namespace tamro {

namespace {

using K = ControlKind;
using C = ControlId;

// Placeholder window texts: replaced before the dialog is ever seen.
constexpr std::string_view placeholder = "Static";
constexpr std::string_view versionPlaceholder = "Version";

constexpr TemplateItem control(C id, K kind, std::string_view name, std::string_view text,
                               std::string_view label, DialogRect rect, Area area) {
    return TemplateItem{id, kind, name, text, label, rect, area, C::none};
}

// A control with a caption of its own: the caption is what the operator reads.
constexpr TemplateItem captioned(C id, K kind, std::string_view name, std::string_view caption,
                                 DialogRect rect, Area area) {
    return control(id, kind, name, caption, caption, rect, area);
}

// A control named by a separate label; its own window text is empty.
constexpr TemplateItem labelled(C id, K kind, std::string_view name, std::string_view label,
                                DialogRect rect, Area area) {
    return control(id, kind, name, "", label, rect, area);
}

constexpr TemplateItem current(C id, std::string_view name, std::string_view rowLabel,
                               DialogRect rect) {
    return control(id, K::text, name, placeholder, rowLabel, rect, Area::current);
}

constexpr TemplateItem labelItem(std::string_view text, DialogRect rect, C labelFor) {
    return TemplateItem{C::none, K::text, "", text, text, rect, Area::none, labelFor};
}

constexpr TemplateItem staticItem(K kind, std::string_view text, DialogRect rect) {
    return TemplateItem{C::none, kind, "", text, text, rect, Area::none, C::none};
}

// Unnumbered labels come with a place only. They are 8 units high (one line);
// a label above its control is as wide as it, a row label runs to just short
// of the current-setting column at x = 250.
constexpr std::int32_t lineHeight = 8;
constexpr DialogRect rowLabel(std::int32_t x, std::int32_t y) { return {x, y, 248 - x, lineHeight}; }

// Each label sits right before the control it names, so a front end can tie
// them together by order as well as by `labelFor`.
constexpr std::array<TemplateItem, templateItemCount> items = {{
    labelItem("対象モデル選択", {5, 5, 110, lineHeight}, C::modelCombo),
    labelled(C::modelCombo, K::combo, "modelCombo", "対象モデル選択", {5, 15, 110, 340}, Area::topRow),
    labelItem("ネットワークデバイス選択", {135, 5, 280, lineHeight}, C::adapterCombo),
    labelled(C::adapterCombo, K::combo, "adapterCombo", "ネットワークデバイス選択", {135, 15, 280, 330},
             Area::topRow),
    staticItem(K::rule, "", {5, 35, 410, 1}),

    captioned(C::searchButton, K::pushButton, "searchButton", "検索(&S)", {5, 45, 165, 20},
              Area::leftColumn),
    labelItem("機器", {5, 70, 165, lineHeight}, C::deviceList),
    labelled(C::deviceList, K::list, "deviceList", "機器", {5, 80, 165, 125}, Area::leftColumn),

    staticItem(K::groupBox, "IPアドレスの設定", {5, 210, 165, 115}),
    captioned(C::dhcpCheck, K::checkBox, "dhcpCheck", "IPアドレスの自動取得", {10, 220, 79, 10},
              Area::addressBox),
    labelItem("設定するIPアドレス", {10, 235, 100, lineHeight}, C::ipAddressCtrl),
    labelled(C::ipAddressCtrl, K::address, "ipAddressCtrl", "設定するIPアドレス", {10, 245, 100, 15},
             Area::addressBox),
    captioned(C::pingButton, K::pushButton, "pingButton", "PING送信", {115, 245, 50, 14},
              Area::addressBox),
    labelItem("サブネットマスク", {10, 265, 100, lineHeight}, C::netmaskCtrl),
    labelled(C::netmaskCtrl, K::address, "netmaskCtrl", "サブネットマスク", {10, 275, 100, 15},
             Area::addressBox),
    labelItem("デフォルトゲートウエイ", {10, 295, 100, lineHeight}, C::gatewayCtrl),
    labelled(C::gatewayCtrl, K::address, "gatewayCtrl", "デフォルトゲートウエイ", {10, 305, 100, 15},
             Area::addressBox),
    control(C::versionText, K::text, "versionText", versionPlaceholder, "", {5, 330, 165, 8},
            Area::leftColumn),

    staticItem(K::text, "現在の設定", {250, 45, 80, lineHeight}),
    staticItem(K::text, "変更する設定", {335, 45, 85, lineHeight}),
    labelItem("プロトコル:", rowLabel(185, 62), C::protocolCombo),
    current(C::protocolCurrent, "protocolCurrent", "プロトコル:", {250, 62, 80, 8}),
    labelled(C::protocolCombo, K::combo, "protocolCombo", "プロトコル:", {335, 60, 85, 195},
             Area::newSetting),
    labelItem("ポート番号:", rowLabel(185, 77), C::portEdit),
    current(C::portCurrent, "portCurrent", "ポート番号:", {250, 77, 80, 8}),
    labelled(C::portEdit, K::edit, "portEdit", "ポート番号:", {335, 75, 85, 14}, Area::newSetting),

    staticItem(K::text, "シリアルポート設定", {185, 100, 235, lineHeight}),
    labelItem("ボーレート:", rowLabel(190, 112), C::baudCombo),
    current(C::baudCurrent, "baudCurrent", "ボーレート:", {250, 112, 80, 8}),
    labelled(C::baudCombo, K::combo, "baudCombo", "ボーレート:", {335, 110, 85, 195}, Area::newSetting),
    labelItem("データビット:", rowLabel(190, 127), C::dataBitsCombo),
    current(C::dataBitsCurrent, "dataBitsCurrent", "データビット:", {250, 127, 80, 8}),
    labelled(C::dataBitsCombo, K::combo, "dataBitsCombo", "データビット:", {335, 126, 85, 130},
             Area::newSetting),
    labelItem("パリティ:", rowLabel(190, 142), C::parityCombo),
    current(C::parityCurrent, "parityCurrent", "パリティ:", {250, 142, 80, 8}),
    labelled(C::parityCombo, K::combo, "parityCombo", "パリティ:", {335, 140, 85, 105},
             Area::newSetting),
    labelItem("ストップビット:", rowLabel(190, 157), C::stopBitsCombo),
    current(C::stopBitsCurrent, "stopBitsCurrent", "ストップビット:", {250, 157, 80, 8}),
    labelled(C::stopBitsCombo, K::combo, "stopBitsCombo", "ストップビット:", {335, 156, 85, 120},
             Area::newSetting),
    labelItem("フロー制御:", rowLabel(190, 172), C::flowCombo),
    current(C::flowCurrent, "flowCurrent", "フロー制御:", {250, 172, 80, 8}),
    labelled(C::flowCombo, K::combo, "flowCombo", "フロー制御:", {335, 170, 85, 90}, Area::newSetting),

    staticItem(K::text, "クライアントモード設定", {185, 190, 235, lineHeight}),
    labelItem("接続条件:", rowLabel(190, 202), C::connectCombo),
    current(C::connectCurrent, "connectCurrent", "接続条件:", {250, 202, 80, 8}),
    labelled(C::connectCombo, K::combo, "connectCombo", "接続条件:", {335, 200, 85, 195},
             Area::newSetting),
    labelItem("通信先IPアドレス:", rowLabel(190, 217), C::remoteIpCtrl),
    current(C::remoteIpCurrent, "remoteIpCurrent", "通信先IPアドレス:", {250, 217, 80, 8}),
    labelled(C::remoteIpCtrl, K::address, "remoteIpCtrl", "通信先IPアドレス:", {335, 215, 85, 13},
             Area::newSetting),
    labelItem("通信先ポート番号:", rowLabel(190, 232), C::remotePortEdit),
    current(C::remotePortCurrent, "remotePortCurrent", "通信先ポート番号:", {250, 232, 80, 8}),
    labelled(C::remotePortEdit, K::edit, "remotePortEdit", "通信先ポート番号:", {335, 230, 85, 14},
             Area::newSetting),
    labelItem("キープアライブ(秒):", rowLabel(185, 257), C::keepAliveEdit),
    current(C::keepAliveCurrent, "keepAliveCurrent", "キープアライブ(秒):", {250, 257, 80, 8}),
    labelled(C::keepAliveEdit, K::edit, "keepAliveEdit", "キープアライブ(秒):", {335, 255, 85, 14},
             Area::newSetting),
    labelItem("パックコントロール:", rowLabel(185, 272), C::packCombo),
    current(C::packCurrent, "packCurrent", "パックコントロール:", {250, 272, 80, 8}),
    labelled(C::packCombo, K::combo, "packCombo", "パックコントロール:", {335, 270, 85, 195},
             Area::newSetting),

    // The pin group lies stacked left of the write button; it is never shown.
    captioned(C::cpGroupLabel, K::text, "cpGroupLabel", "CPピン設定", {195, 305, 35, 8},
              Area::controlPins),
    captioned(C::cp1Label, K::text, "cp1Label", "CP1", {195, 305, 13, 8}, Area::controlPins),
    captioned(C::cp2Label, K::text, "cp2Label", "CP2", {195, 310, 13, 8}, Area::controlPins),
    captioned(C::cp3Label, K::text, "cp3Label", "CP3", {195, 315, 13, 8}, Area::controlPins),
    control(C::cp1Current, K::text, "cp1Current", placeholder, "CP1", {200, 305, 20, 8},
            Area::controlPins),
    control(C::cp2Current, K::text, "cp2Current", placeholder, "CP2", {200, 310, 20, 8},
            Area::controlPins),
    control(C::cp3Current, K::text, "cp3Current", placeholder, "CP3", {200, 315, 20, 8},
            Area::controlPins),
    labelled(C::cp1Combo, K::combo, "cp1Combo", "CP1", {205, 300, 25, 145}, Area::controlPins),
    labelled(C::cp2Combo, K::combo, "cp2Combo", "CP2", {205, 305, 25, 145}, Area::controlPins),
    labelled(C::cp3Combo, K::combo, "cp3Combo", "CP3", {205, 310, 25, 145}, Area::controlPins),

    captioned(C::writeButton, K::pushButton, "writeButton", "設定の書き込み(&E)", {235, 305, 185, 30},
              Area::bottomRight),
}};

constexpr std::size_t countNumbered() {
    std::size_t count = 0;
    for (const TemplateItem& item : items) {
        if (item.numbered()) ++count;
    }
    return count;
}
static_assert(countNumbered() == numberedControlCount);

constexpr std::array<ControlId, numberedControlCount> numberedInOrder() {
    std::array<ControlId, numberedControlCount> ids{};
    std::size_t next = 0;
    for (const TemplateItem& item : items) {
        if (item.numbered()) ids[next++] = item.id;
    }
    return ids;
}

constexpr std::array<ControlId, numberedControlCount> numbered = numberedInOrder();

// Ids run from 1000 to 1046; a direct table keeps lookups constant-time.
constexpr std::int32_t firstNumber = 1000;
constexpr std::int32_t numberSpan = 47;

constexpr std::array<std::int8_t, numberSpan> indexByNumber() {
    std::array<std::int8_t, numberSpan> table{};
    for (auto& entry : table) entry = -1;
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        table[static_cast<std::size_t>(controlNumber(numbered[i]) - firstNumber)] =
            static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr std::array<std::int8_t, numberSpan> indexTable = indexByNumber();

constexpr std::array<std::size_t, numberedControlCount> itemPositions() {
    std::array<std::size_t, numberedControlCount> positions{};
    std::size_t next = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].numbered()) positions[next++] = i;
    }
    return positions;
}

constexpr std::array<std::size_t, numberedControlCount> itemPosition = itemPositions();

constexpr std::array<std::string_view, 2> comboStyles = {"CBS_DROPDOWNLIST", "WS_VSCROLL"};
constexpr std::array<std::string_view, 3> editStyles = {"ES_NUMBER", "ES_AUTOHSCROLL", "WS_BORDER"};
constexpr std::array<std::string_view, 3> listStyles = {"LBS_NOTIFY", "WS_VSCROLL", "WS_BORDER"};
constexpr std::array<std::string_view, 1> textStyles = {"SS_LEFT"};
constexpr std::array<std::string_view, 1> checkStyles = {"BS_AUTOCHECKBOX"};
constexpr std::array<std::string_view, 1> pushStyles = {"BS_PUSHBUTTON"};
constexpr std::array<std::string_view, 1> groupStyles = {"BS_GROUPBOX"};
constexpr std::array<std::string_view, 1> ruleStyles = {"SS_ETCHEDHORZ"};

}  // namespace

std::span<const TemplateItem, templateItemCount> templateItems() { return items; }

std::span<const ControlId, numberedControlCount> numberedControls() { return numbered; }

std::int32_t numberedIndex(ControlId id) {
    const std::int32_t offset = controlNumber(id) - firstNumber;
    if (offset < 0 || offset >= numberSpan) return -1;
    return indexTable[static_cast<std::size_t>(offset)];
}

const TemplateItem* findControl(ControlId id) {
    const std::int32_t index = numberedIndex(id);
    if (index < 0) return nullptr;
    return &items[itemPosition[static_cast<std::size_t>(index)]];
}

const TemplateItem* findControl(std::string_view name) {
    if (name.empty()) return nullptr;
    for (const TemplateItem& item : items) {
        if (item.numbered() && item.name == name) return &item;
    }
    return nullptr;
}

std::optional<ControlId> controlIdFromNumber(std::int32_t number) {
    const ControlId id = static_cast<ControlId>(number);
    if (numberedIndex(id) < 0) return std::nullopt;
    return id;
}

std::string_view controlName(ControlId id) {
    const TemplateItem* item = findControl(id);
    return item != nullptr ? item->name : std::string_view{};
}

ControlKind controlKind(ControlId id) {
    const TemplateItem* item = findControl(id);
    return item != nullptr ? item->kind : ControlKind::text;
}

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

std::optional<Handler> handlerFor(ControlId source, Notification notification) {
    for (const EventMapEntry& entry : eventMap) {
        if (entry.source == source && entry.notification == notification) return entry.handler;
    }
    return std::nullopt;
}

std::string_view handlerName(Handler handler) {
    switch (handler) {
        case Handler::onPaint: return "onPaint";
        case Handler::onQueryDragIcon: return "onQueryDragIcon";
        case Handler::onSearch: return "onSearch";
        case Handler::onDeviceSelected: return "onDeviceSelected";
        case Handler::onPing: return "onPing";
        case Handler::onWrite: return "onWrite";
        case Handler::applyModelConstraints: return "applyModelConstraints";
        case Handler::applyConnectCondition: return "applyConnectCondition";
        case Handler::applyProtocol: return "applyProtocol";
        case Handler::applyDhcpState: return "applyDhcpState";
        case Handler::onAdapterChanged: return "onAdapterChanged";
    }
    return {};
}

}  // namespace tamro
