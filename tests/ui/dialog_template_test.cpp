#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace tamro {
namespace {

template <typename Range>
bool contains(const Range& range, ControlId id) {
    return std::find(std::begin(range), std::end(range), id) != std::end(range);
}

const TemplateItem& item(ControlId id) {
    const TemplateItem* found = findControl(id);
    EXPECT_NE(found, nullptr) << controlNumber(id);
    return *found;
}

TEST(DialogTemplate, HoldsFortyFiveNumberedControlsAmongSixtyNineItems) {
    const auto items = templateItems();
    std::set<std::int32_t> ids;
    std::set<std::string_view> names;
    std::size_t numbered = 0;
    for (const TemplateItem& entry : items) {
        if (!entry.numbered()) {
            EXPECT_TRUE(entry.name.empty());
            continue;
        }
        ++numbered;
        ids.insert(controlNumber(entry.id));
        names.insert(entry.name);
        EXPECT_GE(controlNumber(entry.id), 1000);
        EXPECT_LE(controlNumber(entry.id), 1046);
    }
    EXPECT_EQ(items.size(), 69u);
    EXPECT_EQ(numbered, 45u);
    EXPECT_EQ(ids.size(), 45u);
    EXPECT_EQ(names.size(), 45u);
    // The two numbers the resource leaves out.
    EXPECT_FALSE(controlIdFromNumber(1012).has_value());
    EXPECT_FALSE(controlIdFromNumber(1022).has_value());
    EXPECT_FALSE(controlIdFromNumber(-1).has_value());
    EXPECT_EQ(controlIdFromNumber(1043), ControlId::cp3Combo);
}

TEST(DialogTemplate, ControlNamesEndInTheirKind) {
    for (const TemplateItem& entry : templateItems()) {
        if (!entry.numbered()) continue;
        const std::string name(entry.name);
        auto endsWith = [&](std::string_view suffix) { return name.ends_with(suffix); };
        switch (entry.kind) {
            case ControlKind::combo: EXPECT_TRUE(endsWith("Combo")) << name; break;
            case ControlKind::edit: EXPECT_TRUE(endsWith("Edit")) << name; break;
            case ControlKind::address: EXPECT_TRUE(endsWith("Ctrl")) << name; break;
            case ControlKind::list: EXPECT_TRUE(endsWith("List")) << name; break;
            case ControlKind::checkBox: EXPECT_TRUE(endsWith("Check")) << name; break;
            case ControlKind::pushButton: EXPECT_TRUE(endsWith("Button")) << name; break;
            case ControlKind::text:
                EXPECT_TRUE(endsWith("Current") || endsWith("Text") || endsWith("Label")) << name;
                break;
            default: ADD_FAILURE() << name << " has a kind no numbered control has";
        }
    }
}

TEST(DialogTemplate, LookupsByIdAndNameAgree) {
    for (const ControlId id : numberedControls()) {
        const TemplateItem* byName = findControl(controlName(id));
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName->id, id);
    }
    EXPECT_EQ(findControl("keepAliveEdit")->id, ControlId::keepAliveEdit);
    EXPECT_EQ(findControl("nosuchCombo"), nullptr);
    EXPECT_EQ(findControl(""), nullptr);
    EXPECT_EQ(findControl(ControlId::none), nullptr);
    EXPECT_EQ(numberedIndex(ControlId::none), -1);
}

TEST(DialogTemplate, DialogFrame) {
    const DialogTemplate& dialog = setupDialogTemplate;
    EXPECT_EQ(dialog.title, "QZセットアップツール");
    EXPECT_EQ(dialog.width, 423);
    EXPECT_EQ(dialog.height, 343);
    EXPECT_EQ(dialog.fontName, "ＭＳ Ｐゴシック");
    EXPECT_EQ(dialog.fontPoints, 9);
    EXPECT_FALSE(dialog.hasMenu);
    EXPECT_FALSE(dialog.hasOkCancelButtons);
    for (const DialogStyle style : allDialogStyles) {
        EXPECT_TRUE(dialog.has(style)) << styleBits(style);
    }
}

TEST(DialogTemplate, EveryItemLiesInsideTheDialog) {
    for (const TemplateItem& entry : templateItems()) {
        const DialogRect& r = entry.rect;
        EXPECT_GT(r.width, 0) << entry.text;
        EXPECT_GT(r.height, 0) << entry.text;
        EXPECT_LE(r.x + r.width, setupDialogTemplate.width) << entry.name << entry.text;
        // A combo's height includes its dropped list, which may leave the dialog.
        const std::int32_t bottom = entry.kind == ControlKind::combo ? r.y : r.y + r.height;
        EXPECT_LE(bottom, setupDialogTemplate.height) << entry.name << entry.text;
    }
}

TEST(DialogTemplate, SpotPositionsAndTexts) {
    EXPECT_EQ(item(ControlId::baudCombo).rect, (DialogRect{335, 110, 85, 195}));
    EXPECT_EQ(item(ControlId::dataBitsCombo).rect, (DialogRect{335, 126, 85, 130}));
    EXPECT_EQ(item(ControlId::remoteIpCtrl).rect, (DialogRect{335, 215, 85, 13}));
    EXPECT_EQ(item(ControlId::dhcpCheck).rect, (DialogRect{10, 220, 79, 10}));
    EXPECT_EQ(item(ControlId::keepAliveCurrent).rect, (DialogRect{250, 257, 80, 8}));
    EXPECT_EQ(item(ControlId::cp3Combo).rect, (DialogRect{205, 310, 25, 145}));
    EXPECT_EQ(item(ControlId::writeButton).rect, (DialogRect{235, 305, 185, 30}));
    EXPECT_EQ(item(ControlId::searchButton).text, "検索(&S)");
    EXPECT_EQ(item(ControlId::writeButton).text, "設定の書き込み(&E)");
    EXPECT_EQ(item(ControlId::pingButton).text, "PING送信");
    EXPECT_EQ(item(ControlId::dhcpCheck).text, "IPアドレスの自動取得");
    EXPECT_EQ(item(ControlId::cpGroupLabel).text, "CPピン設定");
    EXPECT_EQ(item(ControlId::gatewayCtrl).label, "デフォルトゲートウエイ");
    EXPECT_EQ(item(ControlId::keepAliveEdit).label, "キープアライブ(秒):");
    // Controls that take input carry no window text of their own.
    EXPECT_EQ(item(ControlId::portEdit).text, "");
    EXPECT_EQ(item(ControlId::modelCombo).text, "");

    std::size_t groupBoxes = 0;
    std::size_t rules = 0;
    for (const TemplateItem& entry : templateItems()) {
        if (entry.kind == ControlKind::groupBox) {
            ++groupBoxes;
            EXPECT_EQ(entry.text, "IPアドレスの設定");
            EXPECT_EQ(entry.rect, (DialogRect{5, 210, 165, 115}));
        }
        if (entry.kind == ControlKind::rule) {
            ++rules;
            EXPECT_EQ(entry.rect, (DialogRect{5, 35, 410, 1}));
        }
    }
    EXPECT_EQ(groupBoxes, 1u);
    EXPECT_EQ(rules, 1u);
}

TEST(DialogTemplate, AddressBoxControlsLieInsideTheGroupBox) {
    const DialogRect box{5, 210, 165, 115};
    for (const TemplateItem& entry : templateItems()) {
        if (entry.area != Area::addressBox) continue;
        EXPECT_GE(entry.rect.x, box.x) << entry.name;
        EXPECT_GE(entry.rect.y, box.y) << entry.name;
        EXPECT_LE(entry.rect.x + entry.rect.width, box.x + box.width) << entry.name;
        EXPECT_LE(entry.rect.y + entry.rect.height, box.y + box.height) << entry.name;
    }
}

TEST(DialogTemplate, LabelsNameTheirControlAndComeRightBeforeIt) {
    const auto items = templateItems();
    std::size_t labels = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TemplateItem& label = items[i];
        if (label.labelFor == ControlId::none) continue;
        ++labels;
        const TemplateItem& target = item(label.labelFor);
        EXPECT_EQ(label.text, target.label);
        // Above it or left of it, never beside it to the right.
        EXPECT_TRUE(label.rect.y < target.rect.y || label.rect.x < target.rect.x) << label.text;
        // The next numbered item is the control or its current-setting text.
        ASSERT_LT(i + 1, items.size());
        const TemplateItem& next = items[i + 1];
        if (next.id != target.id) {
            EXPECT_EQ(next.area, Area::current) << label.text;
            EXPECT_EQ(next.label, target.label);
            ASSERT_LT(i + 2, items.size());
            EXPECT_EQ(items[i + 2].id, target.id) << label.text;
        }
    }
    EXPECT_EQ(labels, 18u);
}

TEST(DialogTemplate, TabOrderSpots) {
    const auto ids = numberedControls();
    EXPECT_EQ(ids.front(), ControlId::modelCombo);
    EXPECT_EQ(ids[1], ControlId::adapterCombo);
    EXPECT_EQ(ids[2], ControlId::searchButton);
    EXPECT_EQ(ids.back(), ControlId::writeButton);
    EXPECT_EQ(templateItems().back().id, ControlId::writeButton);
    auto position = [&](ControlId id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
    EXPECT_EQ(position(ControlId::pingButton), position(ControlId::ipAddressCtrl) + 1);
    EXPECT_EQ(position(ControlId::protocolCombo), position(ControlId::protocolCurrent) + 1);
    EXPECT_LT(position(ControlId::baudCombo), position(ControlId::dataBitsCombo));
    EXPECT_LT(position(ControlId::parityCombo), position(ControlId::stopBitsCombo));
    EXPECT_LT(position(ControlId::packCombo), position(ControlId::cpGroupLabel));
}

TEST(ControlGroups, SettingsControlsAreTheEditableAreas) {
    std::set<ControlId> settings(settingsControls.begin(), settingsControls.end());
    EXPECT_EQ(settings.size(), 21u);
    for (const TemplateItem& entry : templateItems()) {
        if (!entry.numbered()) continue;
        const bool expected = entry.area == Area::addressBox || entry.area == Area::newSetting ||
                              (entry.area == Area::controlPins && entry.kind == ControlKind::combo) ||
                              entry.id == ControlId::writeButton;
        EXPECT_EQ(settings.count(entry.id) == 1, expected) << entry.name;
    }
}

TEST(ControlGroups, CurrentSettingTextsAreEveryCurrentText) {
    std::set<ControlId> texts(currentSettingTexts.begin(), currentSettingTexts.end());
    EXPECT_EQ(texts.size(), 15u);
    for (const TemplateItem& entry : templateItems()) {
        if (!entry.numbered()) continue;
        const bool expected = entry.name.ends_with("Current");
        EXPECT_EQ(texts.count(entry.id) == 1, expected) << entry.name;
        if (expected) {
            EXPECT_EQ(entry.kind, ControlKind::text);
        }
    }
}

TEST(ControlGroups, FormControlsAreTheSettingsAndTheDeviceList) {
    EXPECT_EQ(formControls.front(), ControlId::deviceList);
    EXPECT_TRUE(std::equal(settingsControls.begin(), settingsControls.end(), formControls.begin() + 1));
    for (const ControlId id : neverSwitchedControls) {
        EXPECT_FALSE(contains(formControls, id)) << controlName(id);
    }
    EXPECT_FALSE(contains(formControls, ControlId::modelCombo));
}

TEST(ControlGroups, ControlPinGroupIsTheWholePinArea) {
    EXPECT_EQ(controlPinGroup.size(), 10u);
    for (const TemplateItem& entry : templateItems()) {
        if (!entry.numbered()) continue;
        EXPECT_EQ(contains(controlPinGroup, entry.id), entry.area == Area::controlPins) << entry.name;
    }
    // The pin texts are current-setting texts too; the pin labels are not.
    EXPECT_TRUE(contains(currentSettingTexts, ControlId::cp2Current));
    EXPECT_FALSE(contains(currentSettingTexts, ControlId::cp2Label));
}

TEST(FixedLists, EverySettingsComboHasOneAndNothingElseDoes) {
    std::set<ControlId> listed;
    for (const FixedList& list : fixedLists) {
        EXPECT_TRUE(listed.insert(list.control).second) << controlName(list.control);
        EXPECT_FALSE(list.texts.empty());
    }
    for (const ControlId id : numberedControls()) {
        const bool settingsCombo =
            controlKind(id) == ControlKind::combo && contains(settingsControls, id);
        EXPECT_EQ(listed.count(id) == 1, settingsCombo) << controlName(id);
    }
}

TEST(FixedLists, PinListsFollowTheAllowedCodes) {
    EXPECT_EQ(pinLists[0].count, 5u);
    EXPECT_EQ(pinLists[1].count, 5u);
    EXPECT_EQ(pinLists[2].count, 7u);
    EXPECT_EQ(pinLists[0].texts[3], "Status LED 1");
    EXPECT_EQ(pinLists[1].texts[0], "Modem Control Out");
    EXPECT_EQ(pinLists[2].texts[0], "HW Flow Control In");
    EXPECT_EQ(pinLists[2].texts[6], "Link Status");
    // Every position maps back to a code whose name it shows.
    for (std::size_t pin = 0; pin < 3; ++pin) {
        for (std::size_t position = 0; position < pinLists[pin].count; ++position) {
            const std::int32_t code = pinCodeAt(static_cast<std::int32_t>(pin),
                                                static_cast<std::int32_t>(position));
            ASSERT_GE(code, 0);
            EXPECT_EQ(pinLists[pin].texts[position], pinFunctionNames[static_cast<std::size_t>(code)]);
        }
    }
}

TEST(InputLimits, PortsTakeFiveDigitsAndKeepAliveTwo) {
    std::size_t edits = 0;
    for (const ControlId id : numberedControls()) {
        if (controlKind(id) == ControlKind::edit) ++edits;
    }
    EXPECT_EQ(edits, inputLimits.size());
    for (const InputLimit& limit : inputLimits) {
        EXPECT_EQ(controlKind(limit.control), ControlKind::edit);
        const std::int32_t expected = limit.control == ControlId::keepAliveEdit ? 2 : 5;
        EXPECT_EQ(limit.maxLength, expected) << controlName(limit.control);
    }
}

TEST(EventMap, RoutesExactlyTheDocumentedNotifications) {
    struct Route {
        ControlId source;
        Notification notification;
        Handler handler;
    };
    const Route routes[] = {
        {ControlId::searchButton, Notification::click, Handler::onSearch},
        {ControlId::deviceList, Notification::selectionChange, Handler::onDeviceSelected},
        {ControlId::pingButton, Notification::click, Handler::onPing},
        {ControlId::writeButton, Notification::click, Handler::onWrite},
        {ControlId::modelCombo, Notification::selectionChange, Handler::applyModelConstraints},
        {ControlId::connectCombo, Notification::selectionChange, Handler::applyConnectCondition},
        {ControlId::protocolCombo, Notification::selectionChange, Handler::applyProtocol},
        {ControlId::dhcpCheck, Notification::click, Handler::applyDhcpState},
        {ControlId::adapterCombo, Notification::selectionChange, Handler::onAdapterChanged},
    };
    const Notification all[] = {Notification::click,       Notification::selectionChange,
                                Notification::textChange,  Notification::fieldChange,
                                Notification::paint,       Notification::queryDragIcon};
    std::size_t routed = 0;
    for (const ControlId id : numberedControls()) {
        for (const Notification notification : all) {
            const auto handler = handlerFor(id, notification);
            const Route* expected = nullptr;
            for (const Route& route : routes) {
                if (route.source == id && route.notification == notification) expected = &route;
            }
            if (expected == nullptr) {
                EXPECT_FALSE(handler.has_value()) << controlName(id);
            } else {
                ++routed;
                ASSERT_TRUE(handler.has_value()) << controlName(id);
                EXPECT_EQ(*handler, expected->handler) << controlName(id);
            }
        }
    }
    EXPECT_EQ(routed, 9u);
    EXPECT_EQ(handlerFor(ControlId::none, Notification::paint), Handler::onPaint);
    EXPECT_EQ(handlerFor(ControlId::none, Notification::queryDragIcon), Handler::onQueryDragIcon);
    EXPECT_FALSE(handlerFor(ControlId::none, Notification::click).has_value());
    EXPECT_EQ(eventMap.size(), 11u);
    EXPECT_EQ(handlerName(Handler::applyConnectCondition), "applyConnectCondition");
}

}  // namespace
}  // namespace tamro
