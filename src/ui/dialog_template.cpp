#include "ui/dialog_template.h"

#include <algorithm>
#include <cstddef>

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

// A row of the settings columns: its label, the current setting and the
// control for the new one, all three read as the same label.
constexpr std::array<TemplateItem, 3> settingRow(std::string_view label, std::int32_t labelX,
                                                 std::int32_t y, C currentId,
                                                 std::string_view currentName, C id, K kind,
                                                 std::string_view name, DialogRect rect) {
    return {labelItem(label, rowLabel(labelX, y), id),
            current(currentId, currentName, label, {250, y, 80, 8}),
            labelled(id, kind, name, label, rect, Area::newSetting)};
}

// The table in order from its pieces.
template <std::size_t... sizes>
constexpr auto joinItems(const std::array<TemplateItem, sizes>&... parts) {
    std::array<TemplateItem, (sizes + ...)> all{};
    std::size_t next = 0;
    ((std::copy(parts.begin(), parts.end(), all.begin() + static_cast<std::ptrdiff_t>(next)),
      next += parts.size()),
     ...);
    return all;
}

// Each label sits right before the control it names, so a front end can tie
// them together by order as well as by `labelFor`.
constexpr std::array<TemplateItem, templateItemCount> items = joinItems(
    std::array<TemplateItem, 20>{{
        labelItem("対象モデル選択", {5, 5, 110, lineHeight}, C::modelCombo),
        labelled(C::modelCombo, K::combo, "modelCombo", "対象モデル選択", {5, 15, 110, 340},
                 Area::topRow),
        labelItem("ネットワークデバイス選択", {135, 5, 280, lineHeight}, C::adapterCombo),
        labelled(C::adapterCombo, K::combo, "adapterCombo", "ネットワークデバイス選択",
                 {135, 15, 280, 330}, Area::topRow),
        staticItem(K::rule, "", {5, 35, 410, 1}),

        captioned(C::searchButton, K::pushButton, "searchButton", "検索(&S)", {5, 45, 165, 20},
                  Area::leftColumn),
        labelItem("機器", {5, 70, 165, lineHeight}, C::deviceList),
        labelled(C::deviceList, K::list, "deviceList", "機器", {5, 80, 165, 125}, Area::leftColumn),

        staticItem(K::groupBox, "IPアドレスの設定", {5, 210, 165, 115}),
        captioned(C::dhcpCheck, K::checkBox, "dhcpCheck", "IPアドレスの自動取得", {10, 220, 79, 10},
                  Area::addressBox),
        labelItem("設定するIPアドレス", {10, 235, 100, lineHeight}, C::ipAddressCtrl),
        labelled(C::ipAddressCtrl, K::address, "ipAddressCtrl", "設定するIPアドレス",
                 {10, 245, 100, 15}, Area::addressBox),
        captioned(C::pingButton, K::pushButton, "pingButton", "PING送信", {115, 245, 50, 14},
                  Area::addressBox),
        labelItem("サブネットマスク", {10, 265, 100, lineHeight}, C::netmaskCtrl),
        labelled(C::netmaskCtrl, K::address, "netmaskCtrl", "サブネットマスク", {10, 275, 100, 15},
                 Area::addressBox),
        labelItem("デフォルトゲートウエイ", {10, 295, 100, lineHeight}, C::gatewayCtrl),
        labelled(C::gatewayCtrl, K::address, "gatewayCtrl", "デフォルトゲートウエイ",
                 {10, 305, 100, 15}, Area::addressBox),
        control(C::versionText, K::text, "versionText", versionPlaceholder, "", {5, 330, 165, 8},
                Area::leftColumn),

        staticItem(K::text, "現在の設定", {250, 45, 80, lineHeight}),
        staticItem(K::text, "変更する設定", {335, 45, 85, lineHeight}),
    }},
    settingRow("プロトコル:", 185, 62, C::protocolCurrent, "protocolCurrent", C::protocolCombo,
               K::combo, "protocolCombo", {335, 60, 85, 195}),
    settingRow("ポート番号:", 185, 77, C::portCurrent, "portCurrent", C::portEdit, K::edit,
               "portEdit", {335, 75, 85, 14}),
    std::array<TemplateItem, 1>{{
        staticItem(K::text, "シリアルポート設定", {185, 100, 235, lineHeight}),
    }},
    settingRow("ボーレート:", 190, 112, C::baudCurrent, "baudCurrent", C::baudCombo, K::combo,
               "baudCombo", {335, 110, 85, 195}),
    settingRow("データビット:", 190, 127, C::dataBitsCurrent, "dataBitsCurrent", C::dataBitsCombo,
               K::combo, "dataBitsCombo", {335, 126, 85, 130}),
    settingRow("パリティ:", 190, 142, C::parityCurrent, "parityCurrent", C::parityCombo, K::combo,
               "parityCombo", {335, 140, 85, 105}),
    settingRow("ストップビット:", 190, 157, C::stopBitsCurrent, "stopBitsCurrent", C::stopBitsCombo,
               K::combo, "stopBitsCombo", {335, 156, 85, 120}),
    settingRow("フロー制御:", 190, 172, C::flowCurrent, "flowCurrent", C::flowCombo, K::combo,
               "flowCombo", {335, 170, 85, 90}),
    std::array<TemplateItem, 1>{{
        staticItem(K::text, "クライアントモード設定", {185, 190, 235, lineHeight}),
    }},
    settingRow("接続条件:", 190, 202, C::connectCurrent, "connectCurrent", C::connectCombo,
               K::combo, "connectCombo", {335, 200, 85, 195}),
    settingRow("通信先IPアドレス:", 190, 217, C::remoteIpCurrent, "remoteIpCurrent",
               C::remoteIpCtrl, K::address, "remoteIpCtrl", {335, 215, 85, 13}),
    settingRow("通信先ポート番号:", 190, 232, C::remotePortCurrent, "remotePortCurrent",
               C::remotePortEdit, K::edit, "remotePortEdit", {335, 230, 85, 14}),
    settingRow("キープアライブ(秒):", 185, 257, C::keepAliveCurrent, "keepAliveCurrent",
               C::keepAliveEdit, K::edit, "keepAliveEdit", {335, 255, 85, 14}),
    settingRow("パックコントロール:", 185, 272, C::packCurrent, "packCurrent", C::packCombo,
               K::combo, "packCombo", {335, 270, 85, 195}),
    std::array<TemplateItem, 11>{{
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

        captioned(C::writeButton, K::pushButton, "writeButton", "設定の書き込み(&E)",
                  {235, 305, 185, 30}, Area::bottomRight),
    }});

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
