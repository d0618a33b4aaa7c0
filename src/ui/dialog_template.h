#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/vocabulary.h"

namespace tamro {

// The setup dialog as data. The Qt window, a Win32 resource and tamroctl all
// build from these tables, so ids, names, places and routes exist once.

// The numbered controls. The numbers are the dialog resource's control ids
// (a Win32 front end receives them in WM_COMMAND); `none` is the id every
// unnumbered item carries.
enum class ControlId : std::int32_t {
    none = -1,
    portCurrent = 1000,
    searchButton = 1001,
    deviceList = 1002,
    ipAddressCtrl = 1003,
    netmaskCtrl = 1004,
    gatewayCtrl = 1005,
    baudCurrent = 1006,
    dataBitsCurrent = 1007,
    parityCurrent = 1008,
    stopBitsCurrent = 1009,
    flowCurrent = 1010,
    portEdit = 1011,
    remoteIpCtrl = 1013,
    remotePortEdit = 1014,
    baudCombo = 1015,
    dataBitsCombo = 1016,
    stopBitsCombo = 1017,
    parityCombo = 1018,
    flowCombo = 1019,
    connectCombo = 1020,
    writeButton = 1021,
    cp1Current = 1023,
    cp2Current = 1024,
    cp3Current = 1025,
    connectCurrent = 1026,
    remoteIpCurrent = 1027,
    pingButton = 1028,
    remotePortCurrent = 1029,
    protocolCurrent = 1030,
    protocolCombo = 1031,
    cpGroupLabel = 1032,
    cp1Label = 1033,
    cp2Label = 1034,
    cp3Label = 1035,
    adapterCombo = 1036,
    dhcpCheck = 1037,
    keepAliveCurrent = 1038,
    keepAliveEdit = 1039,
    cp1Combo = 1040,
    cp2Combo = 1041,
    modelCombo = 1042,
    cp3Combo = 1043,
    packCombo = 1044,
    packCurrent = 1045,
    versionText = 1046,
};

constexpr std::int32_t controlNumber(ControlId id) { return static_cast<std::int32_t>(id); }

// combo: drop-down list, no typing, unsorted, vertical scroll bar.
// edit: single line, digits only, border, horizontal auto-scroll.
// address: the platform's four-field IPv4 control.
// list: bordered list box, vertical scroll bar, unsorted, notifies selection.
// text: static text. rule: a one-unit-high etched line.
enum class ControlKind { combo, edit, address, list, text, checkBox, pushButton, groupBox, rule };

// The area of the dialog a numbered control belongs to.
enum class Area { none, topRow, leftColumn, addressBox, current, newSetting, controlPins, bottomRight };

// Dialog units; a combo's height includes its dropped list.
struct DialogRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

struct TemplateItem {
    ControlId id = ControlId::none;
    ControlKind kind = ControlKind::text;
    std::string_view name;   // "" for unnumbered items
    std::string_view text;   // the window text the template gives it
    std::string_view label;  // what the operator reads for the control
    DialogRect rect;
    Area area = Area::none;
    ControlId labelFor = ControlId::none;  // the control an unnumbered label names

    constexpr bool numbered() const { return id != ControlId::none; }
};

inline constexpr std::size_t templateItemCount = 69;
inline constexpr std::size_t numberedControlCount = 45;

// Every item in template order, which is also the keyboard (tab) order.
std::span<const TemplateItem, templateItemCount> templateItems();
// The numbered controls alone, in template order.
std::span<const ControlId, numberedControlCount> numberedControls();

// Lookups; nullptr / nothing when there is no such control.
const TemplateItem* findControl(ControlId id);
const TemplateItem* findControl(std::string_view name);
std::optional<ControlId> controlIdFromNumber(std::int32_t number);
// Position among the numbered controls (0..44), or -1.
std::int32_t numberedIndex(ControlId id);
std::string_view controlName(ControlId id);
ControlKind controlKind(ControlId id);

// --- the dialog itself ----------------------------------------------------

inline constexpr std::int32_t dialogResourceId = 102;

enum class DialogStyle : std::uint32_t {
    popup = 1u << 0,
    visible = 1u << 1,
    caption = 1u << 2,
    systemMenu = 1u << 3,
    minimizeBox = 1u << 4,
    modalFrame = 1u << 5,
    setFont = 1u << 6,
    appWindow = 1u << 7,  // extended style: own task-bar button
};

constexpr std::uint32_t styleBits(DialogStyle style) { return static_cast<std::uint32_t>(style); }

struct DialogTemplate {
    std::string_view title;
    std::int32_t width = 0;  // dialog units
    std::int32_t height = 0;
    std::string_view fontName;
    std::int32_t fontPoints = 0;
    std::uint32_t styles = 0;  // DialogStyle bits
    bool hasMenu = false;
    bool hasOkCancelButtons = false;  // Enter/Escape still end the dialog

    constexpr bool has(DialogStyle style) const { return (styles & styleBits(style)) != 0; }
};

inline constexpr DialogTemplate setupDialogTemplate = {
    "QZセットアップツール",
    423,
    343,
    "ＭＳ Ｐゴシック",
    9,
    styleBits(DialogStyle::popup) | styleBits(DialogStyle::visible) |
        styleBits(DialogStyle::caption) | styleBits(DialogStyle::systemMenu) |
        styleBits(DialogStyle::minimizeBox) | styleBits(DialogStyle::modalFrame) |
        styleBits(DialogStyle::setFont) | styleBits(DialogStyle::appWindow),
    false,
    false,
};

inline constexpr std::array<DialogStyle, 8> allDialogStyles = {
    DialogStyle::popup,       DialogStyle::visible,    DialogStyle::caption,
    DialogStyle::systemMenu,  DialogStyle::minimizeBox, DialogStyle::modalFrame,
    DialogStyle::setFont,     DialogStyle::appWindow,
};

// --- control groups ---------------------------------------------------------

// Switched on and off together, emptied by resetSettingControls.
inline constexpr std::array<ControlId, 21> settingsControls = {
    ControlId::dhcpCheck,     ControlId::ipAddressCtrl,  ControlId::netmaskCtrl,
    ControlId::gatewayCtrl,   ControlId::pingButton,     ControlId::protocolCombo,
    ControlId::portEdit,      ControlId::baudCombo,      ControlId::dataBitsCombo,
    ControlId::stopBitsCombo, ControlId::parityCombo,    ControlId::flowCombo,
    ControlId::connectCombo,  ControlId::remoteIpCtrl,   ControlId::remotePortEdit,
    ControlId::cp1Combo,      ControlId::cp2Combo,       ControlId::cp3Combo,
    ControlId::keepAliveEdit, ControlId::packCombo,      ControlId::writeButton,
};

inline constexpr std::array<ControlId, 15> currentSettingTexts = {
    ControlId::protocolCurrent,   ControlId::portCurrent,     ControlId::baudCurrent,
    ControlId::dataBitsCurrent,   ControlId::stopBitsCurrent, ControlId::parityCurrent,
    ControlId::flowCurrent,       ControlId::connectCurrent,  ControlId::remoteIpCurrent,
    ControlId::remotePortCurrent, ControlId::cp1Current,      ControlId::cp2Current,
    ControlId::cp3Current,        ControlId::keepAliveCurrent, ControlId::packCurrent,
};

// The settings controls and the device list: what a running write disables.
inline constexpr std::array<ControlId, settingsControls.size() + 1> formControls = [] {
    std::array<ControlId, settingsControls.size() + 1> controls{};
    controls[0] = ControlId::deviceList;
    std::copy(settingsControls.begin(), settingsControls.end(), controls.begin() + 1);
    return controls;
}();

// Hidden at start-up and never shown, yet filled, switched and written like
// the rest.
inline constexpr std::array<ControlId, 10> controlPinGroup = {
    ControlId::cpGroupLabel, ControlId::cp1Label,   ControlId::cp2Label,
    ControlId::cp3Label,     ControlId::cp1Combo,   ControlId::cp2Combo,
    ControlId::cp3Combo,     ControlId::cp1Current, ControlId::cp2Current,
    ControlId::cp3Current,
};

// Enabled for the dialog's whole life (the model list only while models exist).
inline constexpr std::array<ControlId, 3> neverSwitchedControls = {
    ControlId::searchButton, ControlId::adapterCombo, ControlId::versionText};

// Edit lengths set at start-up; all three edits hold numbers.
struct InputLimit {
    ControlId control = ControlId::none;
    std::int32_t maxLength = 0;
};

inline constexpr std::array<InputLimit, 3> inputLimits = {{
    {ControlId::portEdit, 5},
    {ControlId::remotePortEdit, 5},
    {ControlId::keepAliveEdit, 2},
}};

// --- fixed lists --------------------------------------------------------------

// A pin's list: the names of the codes in its row of cpAllowedCodes, in row
// order, up to the first empty slot.
struct PinListTexts {
    std::array<std::string_view, pinSlots> texts{};
    std::size_t count = 0;
};

constexpr PinListTexts pinListTexts(std::size_t pin) {
    PinListTexts list;
    for (const std::int32_t code : cpAllowedCodes[pin]) {
        if (code < 0) break;
        list.texts[list.count++] = pinFunctionNames[static_cast<std::size_t>(code)];
    }
    return list;
}

inline constexpr std::array<PinListTexts, pinCount> pinLists = {
    pinListTexts(0), pinListTexts(1), pinListTexts(2)};

struct FixedList {
    ControlId control = ControlId::none;
    std::span<const std::string_view> texts;
};

// In fill order; list position = index into `texts`.
inline constexpr std::array<FixedList, 11> fixedLists = {{
    {ControlId::protocolCombo, protocolTexts},
    {ControlId::baudCombo, baudTexts},
    {ControlId::dataBitsCombo, dataBitsTexts},
    {ControlId::stopBitsCombo, stopBitsTexts},
    {ControlId::parityCombo, parityTexts},
    {ControlId::flowCombo, flowTexts},
    {ControlId::connectCombo, connectTexts},
    {ControlId::cp1Combo, std::span(pinLists[0].texts.data(), pinLists[0].count)},
    {ControlId::cp2Combo, std::span(pinLists[1].texts.data(), pinLists[1].count)},
    {ControlId::cp3Combo, std::span(pinLists[2].texts.data(), pinLists[2].count)},
    {ControlId::packCombo, packTexts},
}};

// --- event map ----------------------------------------------------------------

// BN_CLICKED (code 0) is `click`; LBN_SELCHANGE and CBN_SELCHANGE (code 1)
// are `selectionChange`; an edit's EN_CHANGE is `textChange` and an address
// control's field change `fieldChange`. `paint` and `queryDragIcon` are the
// dialog's own WM_PAINT and WM_QUERYDRAGICON.
enum class Notification { click, selectionChange, textChange, fieldChange, paint, queryDragIcon };

// One per routed event; named after the operation each one runs.
enum class Handler {
    onPaint,
    onQueryDragIcon,
    onSearch,
    onDeviceSelected,
    onPing,
    onWrite,
    applyModelConstraints,
    applyConnectCondition,
    applyProtocol,
    applyDhcpState,
    onAdapterChanged,
};

struct EventMapEntry {
    Notification notification = Notification::click;
    ControlId source = ControlId::none;  // none: the dialog itself
    Handler handler = Handler::onPaint;
};

// Anything not listed gets the dialog's default handling.
inline constexpr std::array<EventMapEntry, 11> eventMap = {{
    {Notification::paint, ControlId::none, Handler::onPaint},
    {Notification::queryDragIcon, ControlId::none, Handler::onQueryDragIcon},
    {Notification::click, ControlId::searchButton, Handler::onSearch},
    {Notification::selectionChange, ControlId::deviceList, Handler::onDeviceSelected},
    {Notification::click, ControlId::pingButton, Handler::onPing},
    {Notification::click, ControlId::writeButton, Handler::onWrite},
    {Notification::selectionChange, ControlId::modelCombo, Handler::applyModelConstraints},
    {Notification::selectionChange, ControlId::connectCombo, Handler::applyConnectCondition},
    {Notification::selectionChange, ControlId::protocolCombo, Handler::applyProtocol},
    {Notification::click, ControlId::dhcpCheck, Handler::applyDhcpState},
    {Notification::selectionChange, ControlId::adapterCombo, Handler::onAdapterChanged},
}};

// The handler for a notification from `source` (ControlId::none for the
// dialog's own messages), or nothing.
std::optional<Handler> handlerFor(ControlId source, Notification notification);
std::string_view handlerName(Handler handler);

}  // namespace tamro
