#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "form_changes.h"
#include "setting_flags.h"
#include "platform/ipv4.h"
#include "protocol/vocabulary.h"

namespace tamro::cli {
namespace {

Ipv4 ip(const char* text) { return *parseDottedText(text); }

DeviceRecord dhcpDevice() {
    DeviceRecord device;
    device.configured = 1;
    device.dhcp = 1;
    device.peer.address = ip("10.77.0.11");
    device.ipAddress = ip("10.77.0.11");
    device.netmask = ip("255.0.0.0");  // the class mask a DHCP device keeps
    device.gateway = ip("0.0.0.0");
    return device;
}

// The form as selecting `device` leaves it: every new value equal to the
// current one.
Form selected(const DeviceRecord& device) {
    Form form;
    form.setChecked(ControlId::dhcpCheck, device.dhcp == 1);
    form.setAddress(ControlId::ipAddressCtrl, device.ipAddress);
    form.setAddress(ControlId::netmaskCtrl, device.netmask);
    form.setAddress(ControlId::gatewayCtrl, device.gateway);
    for (const TemplateItem& item : templateItems()) {
        if (item.area != Area::newSetting) continue;
        const TemplateItem* current = currentTextFor(item);
        if (current == nullptr) continue;
        switch (item.kind) {
            case ControlKind::combo:
                form.addItem(item.id, "9600");
                form.addItem(item.id, "115200");
                form.setSelection(item.id, 0);
                form.setText(current->id, "9600");
                break;
            case ControlKind::address:
                form.setAddress(item.id, ip("10.77.0.200"));
                form.setText(current->id, "10.77.0.200");
                break;
            default:
                form.setText(item.id, "4001");
                form.setText(current->id, "4001");
                break;
        }
    }
    return form;
}

TEST(FormChanges, AFormAsSelectedChangesNothing) {
    const DeviceRecord device = dhcpDevice();
    EXPECT_EQ(formChanges(selected(device), device), std::vector<std::string>{});
}

TEST(FormChanges, EachChangedRowReadsAsShowPrintsIt) {
    const DeviceRecord device = dhcpDevice();
    Form form = selected(device);
    form.setSelection(ControlId::baudCombo, 1);
    form.setChecked(ControlId::dhcpCheck, false);
    form.setAddress(ControlId::netmaskCtrl, ip("255.255.255.0"));
    form.setText(ControlId::portEdit, "10001");
    EXPECT_EQ(formChanges(form, device),
              (std::vector<std::string>{"IPアドレスの自動取得: on -> off",
                                        "サブネットマスク: 255.0.0.0 -> 255.255.255.0",
                                        "ポート番号: 4001 -> 10001", "ボーレート: 9600 -> 115200"}));
    // A hidden control is not written as a change.
    form.setVisible(ControlId::portEdit, false);
    EXPECT_EQ(formChanges(form, device).size(), 3u);
}

TEST(FormChanges, AnEmptyCurrentSettingReadsAsADash) {
    const DeviceRecord device = dhcpDevice();
    Form form = selected(device);
    form.setText(ControlId::baudCurrent, "");  // a code no list entry shows
    EXPECT_EQ(formChanges(form, device), std::vector<std::string>{"ボーレート: - -> 9600"});
}

TEST(FormChanges, OffTheSubnetOnlyTheAddressIsCompared) {
    DeviceRecord device = dhcpDevice();
    device.configured = 0;
    device.peer.address = ip("172.16.5.9");
    Form form = selected(device);
    form.setSelection(ControlId::baudCombo, 1);  // never sent to such a device
    form.setAddress(ControlId::ipAddressCtrl, ip("172.16.5.9"));
    EXPECT_EQ(formChanges(form, device), std::vector<std::string>{});
    form.setAddress(ControlId::ipAddressCtrl, ip("10.77.0.60"));
    EXPECT_EQ(formChanges(form, device),
              std::vector<std::string>{"設定するIPアドレス: 172.16.5.9 -> 10.77.0.60"});
}

TEST(FormChanges, ShowsRowsWithAndWithoutACurrentSetting) {
    const TemplateItem* baud = findControl(ControlId::baudCombo);
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ(rowText(*baud, "9600", "115200"), "ボーレート: 9600 -> 115200");
    const TemplateItem* mask = findControl(ControlId::netmaskCtrl);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(rowText(*mask, std::nullopt, "255.255.255.0"), "サブネットマスク: 255.255.255.0");
}

// A device on a fixed address whose every value a list shows.
DeviceRecord fixedDevice() {
    DeviceRecord device;
    device.configured = 1;
    device.peer.address = ip("10.77.0.21");
    device.ipAddress = ip("10.77.0.21");
    device.netmask = ip("255.255.255.0");
    device.gateway = ip("10.77.0.254");
    device.localPort = 4001;
    device.baudRate = 9600;
    device.dataBits = 8;
    device.stopBits = 1;
    device.keepAlive = 20;
    return device;
}

// The form as selecting `device` leaves it, each list holding its flag's
// words and each current setting reading as its control.
Form formFor(const DeviceRecord& device) {
    Form form;
    for (const SettingFlag& flag : settingFlags) {
        const std::optional<std::string> value = reportedValue(device, flag);
        switch (flag.action) {
            case Action::mark: form.setChecked(flag.control, value == "on"); break;
            case Action::choose:
                for (const std::string_view word : flag.words) form.addItem(flag.control, std::string(word));
                for (std::size_t i = 0; i < flag.words.size(); ++i) {
                    if (value == flag.words[i]) form.setSelection(flag.control, static_cast<std::int32_t>(i));
                }
                break;
            case Action::address:
                if (value && !value->empty()) form.setAddress(flag.control, ip(value->c_str()));
                break;
            case Action::type: form.setText(flag.control, value.value_or("")); break;
        }
        const TemplateItem* item = findControl(flag.control);
        if (const TemplateItem* current = item != nullptr ? currentTextFor(*item) : nullptr) {
            const std::string shown = shownValue(form, flag.control);
            form.setText(current->id, shown == "-" ? "" : shown);
        }
    }
    return form;
}

TEST(SettingChanges, AFormAsSelectedChangesNoSetting) {
    const DeviceRecord device = fixedDevice();
    const Form form = formFor(device);
    EXPECT_TRUE(settingChanges(form, device).empty());
    EXPECT_TRUE(writeChangesNothing(form, device));
}

TEST(SettingChanges, EachChangeNamesItsKeyWithBothValues) {
    const DeviceRecord device = fixedDevice();
    Form form = formFor(device);
    const auto fast = std::find(baudTexts.begin(), baudTexts.end(), "115200");
    ASSERT_NE(fast, baudTexts.end());
    form.setSelection(ControlId::baudCombo, static_cast<std::int32_t>(fast - baudTexts.begin()));
    form.setText(ControlId::portEdit, "10001");
    const std::vector<SettingChange> changes = settingChanges(form, device);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].key, "port");
    EXPECT_EQ(changes[0].before, "4001");
    EXPECT_EQ(changes[0].after, "10001");
    EXPECT_EQ(changes[1].key, "baud");
    EXPECT_EQ(changes[1].before, "9600");
    EXPECT_EQ(changes[1].after, "115200");
    EXPECT_FALSE(writeChangesNothing(form, device));
}

TEST(SettingChanges, WhatCannotBeToldApartIsAChange) {
    // A flow code no list entry shows: the form cannot say what goes out.
    DeviceRecord odd = fixedDevice();
    odd.flowControl = 9;
    const Form oddForm = formFor(odd);
    const std::vector<SettingChange> changes = settingChanges(oddForm, odd);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].key, "flow");
    EXPECT_EQ(changes[0].before, std::nullopt);
    EXPECT_FALSE(writeChangesNothing(oddForm, odd));

    // A control switched off still goes out as it reads.
    const DeviceRecord device = fixedDevice();
    Form form = formFor(device);
    form.setEnabled(ControlId::remotePortEdit, false);
    form.setText(ControlId::remotePortEdit, "5000");
    const std::vector<SettingChange> off = settingChanges(form, device);
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0].key, "remotePort");
    EXPECT_EQ(off[0].after, "5000");
    EXPECT_FALSE(writeChangesNothing(form, device));

    // Off the subnet the assignment is always sent, even to the same address.
    DeviceRecord away = fixedDevice();
    away.configured = 0;
    const Form awayForm = formFor(away);
    const std::vector<SettingChange> moved = settingChanges(awayForm, away);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].key, "ip");
    EXPECT_EQ(moved[0].before, "10.77.0.21");
    EXPECT_FALSE(writeChangesNothing(awayForm, away));
}

TEST(SettingChanges, TheHiddenPinsAndTheModelsVariantCount) {
    DeviceRecord device = fixedDevice();
    device.cp1Function = pinCodeAt(0, 0);
    Form form = formFor(device);
    for (const char* item : {"a", "b", "c"}) form.addItem(ControlId::cp1Combo, item);
    form.setSelection(ControlId::cp1Combo, 0);
    EXPECT_TRUE(writeChangesNothing(form, device));
    // A model's default pin function goes out though no row shows it.
    form.setSelection(ControlId::cp1Combo, 1);
    const std::vector<SettingChange> pins = settingChanges(form, device);
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0].key, "cp1");
    EXPECT_EQ(pins[0].after, std::to_string(pinCodeAt(0, 1)));
    EXPECT_FALSE(writeChangesNothing(form, device));

    // No search reports the variant byte a model writes.
    form.setSelection(ControlId::cp1Combo, 0);
    form.addItem(ControlId::modelCombo, "QZ-120L");
    form.setSelection(ControlId::modelCombo, 0);
    ModelRecord model;
    model.name = "QZ-120L";
    model.modelVariant = -1;
    EXPECT_TRUE(writeChangesNothing(form, device, &model));
    model.modelVariant = 2;
    const std::vector<SettingChange> variant = settingChanges(form, device, &model);
    ASSERT_EQ(variant.size(), 1u);
    EXPECT_EQ(variant[0].key, "model");
    EXPECT_EQ(variant[0].before, std::nullopt);
    EXPECT_EQ(variant[0].after, "QZ-120L");
    EXPECT_FALSE(writeChangesNothing(form, device, &model));
}

TEST(KeptMask, TurningDhcpOffKeepsTheClassMask) {
    const DeviceRecord device = dhcpDevice();
    const Ipv4 adapter = ip("255.255.255.0");
    Form form = selected(device);
    EXPECT_EQ(keptMask(form, device, adapter, false), std::nullopt) << "DHCP stays on";
    form.setChecked(ControlId::dhcpCheck, false);
    EXPECT_EQ(keptMask(form, device, adapter, false), ip("255.0.0.0"));
    EXPECT_EQ(keptMask(form, device, adapter, true), std::nullopt) << "the mask was given";
    EXPECT_EQ(keptMask(form, device, ip("255.0.0.0"), false), std::nullopt) << "the adapter's";
    form.setAddress(ControlId::netmaskCtrl, adapter);
    EXPECT_EQ(keptMask(form, device, adapter, false), std::nullopt);

    DeviceRecord fixed = device;
    fixed.dhcp = 0;  // DHCP was off already: nothing is turned off
    EXPECT_EQ(keptMask(selected(fixed), fixed, adapter, false), std::nullopt);
    DeviceRecord away = device;
    away.configured = 0;  // only an address goes out
    Form assigned = selected(away);
    assigned.setChecked(ControlId::dhcpCheck, false);
    EXPECT_EQ(keptMask(assigned, away, adapter, false), std::nullopt);
}

TEST(KeptMask, TheWarningNamesBothMasksAndHowToSetIt) {
    EXPECT_EQ(keptMaskWarning(ip("255.0.0.0"), ip("255.255.255.0"), "--mask 255.255.255.0"),
              "DHCP goes off and the device keeps the mask 255.0.0.0, not the adapter's "
              "255.255.255.0 (set it with --mask 255.255.255.0)");
}

}  // namespace
}  // namespace tamro::cli
