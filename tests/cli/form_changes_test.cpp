#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form_changes.h"
#include "platform/ipv4.h"

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
