#include "ui/form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamro {
namespace {

struct Call {
    Handler handler;
    ControlId source;
    bool dhcpMarked;  // the check mark as the handler saw it
};

class Recorder final : public FormEvents {
public:
    explicit Recorder(const Form& form) : form_(form) {}
    void handle(Handler handler, ControlId source) override {
        calls.push_back({handler, source, form_.checked(ControlId::dhcpCheck)});
    }
    std::vector<Call> calls;

private:
    const Form& form_;
};

// The form as start-up leaves it, before any device is selected.
class FormTest : public ::testing::Test {
protected:
    FormTest() : recorder(form) {
        fillFixedLists(form);
        applyInputLimits(form);
        hideControlPinGroup(form);
        form.setEvents(&recorder);
    }
    Form form;
    Recorder recorder;
};

AddressFields fields(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    AddressFields result;
    result.fields = {a, b, c, d};
    return result;
}

TEST(NewForm, IsWhatTheTemplateCreates) {
    const Form form;
    for (const ControlId id : numberedControls()) {
        EXPECT_TRUE(form.enabled(id)) << controlName(id);
        EXPECT_TRUE(form.visible(id)) << controlName(id);
        EXPECT_EQ(form.selection(id), -1) << controlName(id);
        EXPECT_EQ(form.itemCount(id), 0) << controlName(id);
    }
    EXPECT_EQ(form.text(ControlId::writeButton), "設定の書き込み(&E)");
    EXPECT_EQ(form.text(ControlId::cp2Label), "CP2");
    EXPECT_EQ(form.text(ControlId::portEdit), "");
    EXPECT_EQ(form.text(ControlId::ipAddressCtrl), "0.0.0.0");
    EXPECT_EQ(form.address(ControlId::ipAddressCtrl).filledCount(), 0);
    EXPECT_FALSE(form.checked(ControlId::dhcpCheck));
    EXPECT_EQ(form.textLimit(ControlId::portEdit), 0);
}

TEST_F(FormTest, FixedListsAreFilledInOrderWithoutASelection) {
    EXPECT_EQ(form.items(ControlId::protocolCombo), (std::vector<std::string>{"TCP", "UDP"}));
    EXPECT_EQ(form.itemCount(ControlId::baudCombo), 13);
    EXPECT_EQ(form.items(ControlId::baudCombo)[5], "9600");
    EXPECT_EQ(form.items(ControlId::baudCombo)[12], "921600");
    EXPECT_EQ(form.items(ControlId::parityCombo)[1], "奇数");
    EXPECT_EQ(form.items(ControlId::flowCombo)[3], "Xon/XoffをLANに送る");
    EXPECT_EQ(form.items(ControlId::connectCombo)[2], "電源投入時");
    EXPECT_EQ(form.items(ControlId::stopBitsCombo), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(form.items(ControlId::dataBitsCombo), (std::vector<std::string>{"7", "8"}));
    EXPECT_EQ(form.itemCount(ControlId::cp1Combo), 5);
    EXPECT_EQ(form.itemCount(ControlId::cp2Combo), 5);
    EXPECT_EQ(form.itemCount(ControlId::cp3Combo), 7);
    EXPECT_EQ(form.items(ControlId::cp1Combo)[4], "RS485 Tx Enable");
    EXPECT_EQ(form.items(ControlId::cp3Combo)[1], "Modem Control In");
    EXPECT_EQ(form.items(ControlId::packCombo)[2], "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ52msec");
    EXPECT_EQ(form.itemCount(ControlId::modelCombo), 0);
    EXPECT_EQ(form.itemCount(ControlId::adapterCombo), 0);
    for (const FixedList& list : fixedLists) EXPECT_EQ(form.selection(list.control), -1);
}

TEST_F(FormTest, ProgramChangesRunNoHandler) {
    form.addItem(ControlId::deviceList, "02-00-00-01-02-03 / 10.0.0.2");
    form.addItem(ControlId::modelCombo, "A");
    form.addItem(ControlId::adapterCombo, "10.0.0.1 (lan)");
    form.setSelection(ControlId::deviceList, 0);
    form.setSelection(ControlId::modelCombo, 0);
    form.setSelection(ControlId::adapterCombo, 0);
    form.setSelection(ControlId::protocolCombo, 1);
    form.setSelection(ControlId::connectCombo, 2);
    form.setChecked(ControlId::dhcpCheck, true);
    form.setText(ControlId::portEdit, "10000");
    form.setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 0, 0, 9));
    resetSettingControls(form, true);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(FormTest, UserActionsRunTheirHandlerAfterTheChange) {
    form.addItem(ControlId::deviceList, "first");
    form.addItem(ControlId::deviceList, "second");

    EXPECT_EQ(form.userSelect(ControlId::deviceList, 1), UserInput::accepted);
    EXPECT_EQ(form.selection(ControlId::deviceList), 1);
    EXPECT_EQ(form.userSelect(ControlId::protocolCombo, 1), UserInput::accepted);
    EXPECT_EQ(form.userClick(ControlId::dhcpCheck), UserInput::accepted);
    EXPECT_EQ(form.userClick(ControlId::searchButton), UserInput::accepted);
    // Picking the selected entry again is reported again.
    EXPECT_EQ(form.userSelect(ControlId::deviceList, 1), UserInput::accepted);

    ASSERT_EQ(recorder.calls.size(), 5u);
    EXPECT_EQ(recorder.calls[0].handler, Handler::onDeviceSelected);
    EXPECT_EQ(recorder.calls[0].source, ControlId::deviceList);
    EXPECT_EQ(recorder.calls[1].handler, Handler::applyProtocol);
    EXPECT_EQ(recorder.calls[2].handler, Handler::applyDhcpState);
    EXPECT_TRUE(recorder.calls[2].dhcpMarked);  // toggled before the handler ran
    EXPECT_EQ(recorder.calls[3].handler, Handler::onSearch);
    EXPECT_EQ(recorder.calls[4].handler, Handler::onDeviceSelected);

    // A second click takes the mark off again.
    form.userClick(ControlId::dhcpCheck);
    EXPECT_FALSE(form.checked(ControlId::dhcpCheck));
}

TEST_F(FormTest, UnroutedUserInputChangesTheModelOnly) {
    EXPECT_EQ(form.userSelect(ControlId::baudCombo, 5), UserInput::accepted);
    EXPECT_EQ(form.userType(ControlId::portEdit, "80"), UserInput::accepted);
    EXPECT_EQ(form.userSetAddressField(ControlId::remoteIpCtrl, 0, 10), UserInput::accepted);
    EXPECT_EQ(form.selection(ControlId::baudCombo), 5);
    EXPECT_EQ(form.text(ControlId::portEdit), "80");
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(FormTest, ADisabledOrHiddenControlTakesNoUserInput) {
    form.setEnabled(ControlId::writeButton, false);
    form.setEnabled(ControlId::dhcpCheck, false);
    form.setEnabled(ControlId::portEdit, false);
    form.setEnabled(ControlId::protocolCombo, false);
    form.setEnabled(ControlId::ipAddressCtrl, false);
    EXPECT_EQ(form.userClick(ControlId::writeButton), UserInput::ignored);
    EXPECT_EQ(form.userClick(ControlId::dhcpCheck), UserInput::ignored);
    EXPECT_EQ(form.userType(ControlId::portEdit, "1"), UserInput::ignored);
    EXPECT_EQ(form.userSelect(ControlId::protocolCombo, 0), UserInput::ignored);
    EXPECT_EQ(form.userSetAddressField(ControlId::ipAddressCtrl, 0, 1), UserInput::ignored);
    EXPECT_FALSE(form.checked(ControlId::dhcpCheck));
    EXPECT_EQ(form.text(ControlId::portEdit), "");
    EXPECT_EQ(form.selection(ControlId::protocolCombo), -1);
    EXPECT_EQ(form.address(ControlId::ipAddressCtrl).filledCount(), 0);

    // The pin lists stay enabled but hidden: out of the user's reach, not the program's.
    EXPECT_TRUE(form.enabled(ControlId::cp1Combo));
    EXPECT_EQ(form.userSelect(ControlId::cp1Combo, 1), UserInput::ignored);
    EXPECT_EQ(form.selection(ControlId::cp1Combo), -1);
    form.setSelection(ControlId::cp1Combo, 1);
    EXPECT_EQ(form.selection(ControlId::cp1Combo), 1);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(FormTest, UserActionsOutsideTheControlsReachAreIgnored) {
    EXPECT_EQ(form.userSelect(ControlId::protocolCombo, 2), UserInput::ignored);
    EXPECT_EQ(form.userSelect(ControlId::protocolCombo, -1), UserInput::ignored);
    EXPECT_EQ(form.userSelect(ControlId::deviceList, 0), UserInput::ignored);  // empty list
    EXPECT_EQ(form.userClick(ControlId::baudCombo), UserInput::ignored);
    EXPECT_EQ(form.userClick(ControlId::versionText), UserInput::ignored);
    EXPECT_EQ(form.userType(ControlId::baudCombo, "1"), UserInput::ignored);
    EXPECT_EQ(form.userSetAddressField(ControlId::ipAddressCtrl, 4, 1), UserInput::ignored);
    EXPECT_EQ(form.userClick(ControlId::none), UserInput::ignored);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(FormTest, EditsTakeAsciiDigitsOnlyUpToTheirLimit) {
    EXPECT_EQ(form.userType(ControlId::portEdit, "12a34"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::portEdit), "1234");
    EXPECT_EQ(form.userType(ControlId::portEdit, "56"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::portEdit), "12345");  // a sixth digit is refused

    EXPECT_EQ(form.userType(ControlId::remotePortEdit, "65535"), UserInput::accepted);
    EXPECT_EQ(form.userType(ControlId::remotePortEdit, "0"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::remotePortEdit), "65535");

    EXPECT_EQ(form.userType(ControlId::keepAliveEdit, "123"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::keepAliveEdit), "12");

    // Full-width digits, signs, blanks and letters are all refused.
    EXPECT_EQ(form.userReplaceText(ControlId::keepAliveEdit, "１２"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::keepAliveEdit), "");
    EXPECT_EQ(form.userReplaceText(ControlId::portEdit, "-1 x"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::portEdit), "1");

    EXPECT_EQ(form.userReplaceText(ControlId::portEdit, "1024"), UserInput::accepted);
    EXPECT_EQ(form.text(ControlId::portEdit), "1024");
    EXPECT_EQ(form.userReplaceText(ControlId::portEdit, "123456"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::portEdit), "12345");
}

TEST(FormEdits, WithoutALimitAnyNumberOfDigitsIsTaken) {
    Form form;
    EXPECT_EQ(form.userType(ControlId::portEdit, "1234567890"), UserInput::accepted);
    EXPECT_EQ(form.text(ControlId::portEdit), "1234567890");
}

TEST_F(FormTest, AProgramTextPassesTheEditFilters) {
    form.setText(ControlId::portEdit, "123456x");
    EXPECT_EQ(form.text(ControlId::portEdit), "123456x");
    // Over the limit already: typing adds nothing, replacing still works.
    EXPECT_EQ(form.userType(ControlId::portEdit, "7"), UserInput::altered);
    EXPECT_EQ(form.text(ControlId::portEdit), "123456x");
    EXPECT_EQ(form.userReplaceText(ControlId::portEdit, "8"), UserInput::accepted);
    EXPECT_EQ(form.text(ControlId::portEdit), "8");
}

TEST_F(FormTest, AddressFieldsAreBlankOrZeroToTwoFiftyFive) {
    const ControlId id = ControlId::remoteIpCtrl;
    EXPECT_EQ(form.userSetAddressField(id, 0, 192), UserInput::accepted);
    EXPECT_EQ(form.userSetAddressField(id, 3, 0), UserInput::accepted);
    EXPECT_EQ(form.address(id), fields(192, -1, -1, 0));
    EXPECT_EQ(form.address(id).filledCount(), 2);
    EXPECT_EQ(form.text(id), "192.0.0.0");

    EXPECT_EQ(form.userSetAddressField(id, 1, 300), UserInput::altered);
    EXPECT_EQ(form.address(id).fields[1], 255);
    EXPECT_EQ(form.userSetAddressField(id, 0, -1), UserInput::accepted);
    EXPECT_EQ(form.address(id).fields[0], -1);
    EXPECT_EQ(form.address(id).filledCount(), 2);

    EXPECT_EQ(form.userSetAddress(id, fields(10, 1, 2, 3)), UserInput::accepted);
    EXPECT_EQ(form.address(id).filledCount(), 4);
    EXPECT_EQ(form.text(id), "10.1.2.3");

    // Program side: out-of-range fields are normalised the same way.
    form.setAddress(id, fields(-7, 256, 1, 2));
    EXPECT_EQ(form.address(id), fields(-1, 255, 1, 2));
    form.setAddress(id, Ipv4::fromOctets(172, 16, 5, 9));
    EXPECT_EQ(form.address(id), fields(172, 16, 5, 9));
}

TEST_F(FormTest, AnAddressControlTakesADottedText) {
    const ControlId id = ControlId::gatewayCtrl;
    form.setText(id, "10.77.0.1");
    EXPECT_EQ(form.address(id), fields(10, 77, 0, 1));
    form.setText(id, "");
    EXPECT_EQ(form.address(id).filledCount(), 0);
    EXPECT_EQ(form.text(id), "0.0.0.0");
    form.setText(id, "192.168.");
    EXPECT_EQ(form.address(id), fields(192, 168, -1, -1));
    form.setText(id, "1.999.x.3");
    EXPECT_EQ(form.address(id), fields(1, 255, -1, 3));
}

TEST_F(FormTest, ListsKeepTheirSelectionOnTheEntry) {
    const ControlId id = ControlId::deviceList;
    for (const char* entry : {"a", "b", "c", "d"}) form.addItem(id, entry);
    form.setSelection(id, 2);
    form.removeItem(id, 0);  // an entry before the selection
    EXPECT_EQ(form.selection(id), 1);
    EXPECT_EQ(form.text(id), "c");
    form.removeItem(id, 2);  // after it
    EXPECT_EQ(form.selection(id), 1);
    form.removeItem(id, 1);  // the selected entry itself
    EXPECT_EQ(form.selection(id), -1);
    EXPECT_EQ(form.items(id), (std::vector<std::string>{"b"}));

    form.setSelection(ControlId::baudCombo, 13);
    EXPECT_EQ(form.selection(ControlId::baudCombo), -1);
    form.setSelection(ControlId::baudCombo, 9);
    EXPECT_EQ(form.text(ControlId::baudCombo), "115200");
    form.setSelection(ControlId::baudCombo, -5);
    EXPECT_EQ(form.text(ControlId::baudCombo), "");
    form.setSelection(ControlId::baudCombo, 3);
    form.clearItems(ControlId::baudCombo);
    EXPECT_EQ(form.selection(ControlId::baudCombo), -1);
    EXPECT_EQ(form.addItem(ControlId::portEdit, "x"), -1);
}

// Everything filled, marked and selected, as after showing a read device.
void fillEverything(Form& form) {
    form.addItem(ControlId::deviceList, "device");
    form.setSelection(ControlId::deviceList, 0);
    form.addItem(ControlId::modelCombo, "model");
    form.setSelection(ControlId::modelCombo, 0);
    form.addItem(ControlId::adapterCombo, "adapter");
    form.setSelection(ControlId::adapterCombo, 0);
    form.setText(ControlId::versionText, "Version 1.00");
    form.setChecked(ControlId::dhcpCheck, true);
    for (const ControlId id : settingsControls) {
        switch (controlKind(id)) {
            case ControlKind::address: form.setAddress(id, Ipv4::fromOctets(1, 2, 3, 4)); break;
            case ControlKind::edit: form.setText(id, "42"); break;
            case ControlKind::combo: form.setSelection(id, 1); break;
            default: break;
        }
    }
    for (const ControlId id : currentSettingTexts) form.setText(id, "shown");
}

TEST_F(FormTest, ResetDisablesAndEmptiesTheSettingsOnly) {
    fillEverything(form);
    form.setEnabled(ControlId::deviceList, false);
    resetSettingControls(form, false);

    for (const ControlId id : settingsControls) {
        EXPECT_FALSE(form.enabled(id)) << controlName(id);
        EXPECT_EQ(form.selection(id), -1) << controlName(id);
        EXPECT_EQ(form.address(id).filledCount(), 0) << controlName(id);
    }
    for (const ControlId id : currentSettingTexts) EXPECT_EQ(form.text(id), "") << controlName(id);
    EXPECT_EQ(form.text(ControlId::portEdit), "");
    EXPECT_EQ(form.text(ControlId::remotePortEdit), "");
    EXPECT_EQ(form.text(ControlId::keepAliveEdit), "");
    // Lists keep their entries, buttons their captions, the box its mark.
    EXPECT_EQ(form.itemCount(ControlId::baudCombo), 13);
    EXPECT_EQ(form.text(ControlId::writeButton), "設定の書き込み(&E)");
    EXPECT_TRUE(form.checked(ControlId::dhcpCheck));
    // Outside the groups nothing moves.
    EXPECT_EQ(form.selection(ControlId::deviceList), 0);
    EXPECT_FALSE(form.enabled(ControlId::deviceList));
    EXPECT_EQ(form.selection(ControlId::modelCombo), 0);
    EXPECT_EQ(form.selection(ControlId::adapterCombo), 0);
    EXPECT_TRUE(form.enabled(ControlId::searchButton));
    EXPECT_EQ(form.text(ControlId::versionText), "Version 1.00");
    EXPECT_FALSE(form.visible(ControlId::cp1Combo));
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(FormTest, ResetWithEnableEnablesTheSettingsAndStillEmptiesThem) {
    fillEverything(form);
    for (const ControlId id : settingsControls) form.setEnabled(id, false);
    form.setEnabled(ControlId::deviceList, false);
    resetSettingControls(form, true);
    for (const ControlId id : settingsControls) {
        EXPECT_TRUE(form.enabled(id)) << controlName(id);
        EXPECT_EQ(form.selection(id), -1) << controlName(id);
    }
    EXPECT_EQ(form.text(ControlId::portEdit), "");
    EXPECT_EQ(form.text(ControlId::baudCurrent), "");
    EXPECT_EQ(form.address(ControlId::remoteIpCtrl).filledCount(), 0);
    EXPECT_FALSE(form.enabled(ControlId::deviceList));
    EXPECT_FALSE(form.visible(ControlId::cp3Combo));
}

TEST_F(FormTest, HidingThePinGroupHidesNothingElse) {
    for (const ControlId id : numberedControls()) {
        bool inGroup = false;
        for (const ControlId pin : controlPinGroup) inGroup = inGroup || pin == id;
        EXPECT_EQ(form.visible(id), !inGroup) << controlName(id);
    }
}

TEST_F(FormTest, ReadWriteControlsOfAnEmptyForm) {
    resetSettingControls(form, false);
    const WriteControlValues values = readWriteControls(form);
    EXPECT_EQ(values.baudText, "");
    EXPECT_EQ(values.portText, "");
    EXPECT_EQ(values.remotePortText, "");
    EXPECT_FALSE(values.dhcpChecked);
    EXPECT_EQ(values.remoteIp.filledCount(), 0);
    for (const std::int32_t position :
         {values.baudPosition, values.dataBitsPosition, values.stopBitsPosition,
          values.parityPosition, values.flowPosition, values.protocolPosition,
          values.connectPosition, values.cp1Position, values.cp2Position, values.cp3Position,
          values.packPosition}) {
        EXPECT_EQ(position, -1);
    }
}

TEST_F(FormTest, ReadWriteControlsTakesEachValueFromItsOwnControl) {
    form.setChecked(ControlId::dhcpCheck, true);
    form.setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 0, 0, 2));
    form.setAddress(ControlId::netmaskCtrl, Ipv4::fromOctets(255, 255, 255, 0));
    form.setAddress(ControlId::gatewayCtrl, Ipv4::fromOctets(10, 0, 0, 1));
    form.setAddress(ControlId::remoteIpCtrl, fields(10, 0, -1, 9));
    form.setText(ControlId::portEdit, "10001");
    form.setText(ControlId::remotePortEdit, "20002");
    form.setText(ControlId::keepAliveEdit, "30");
    form.setSelection(ControlId::baudCombo, 11);
    form.setSelection(ControlId::dataBitsCombo, 0);
    form.setSelection(ControlId::stopBitsCombo, 1);
    form.setSelection(ControlId::parityCombo, 2);
    form.setSelection(ControlId::flowCombo, 3);
    form.setSelection(ControlId::protocolCombo, 0);
    form.setSelection(ControlId::connectCombo, 1);
    form.setSelection(ControlId::cp1Combo, 4);
    form.setSelection(ControlId::cp2Combo, 3);
    form.setSelection(ControlId::cp3Combo, 6);
    // pack stays without a selection

    const WriteControlValues values = readWriteControls(form);
    EXPECT_TRUE(values.dhcpChecked);
    EXPECT_EQ(values.ipAddress, fields(10, 0, 0, 2));
    EXPECT_EQ(values.netmask, fields(255, 255, 255, 0));
    EXPECT_EQ(values.gateway, fields(10, 0, 0, 1));
    EXPECT_EQ(values.remoteIp, fields(10, 0, -1, 9));
    EXPECT_EQ(values.remoteIp.filledCount(), 3);
    EXPECT_EQ(values.portText, "10001");
    EXPECT_EQ(values.remotePortText, "20002");
    EXPECT_EQ(values.baudText, "460800");
    EXPECT_EQ(values.baudPosition, 11);
    EXPECT_EQ(values.dataBitsPosition, 0);
    EXPECT_EQ(values.stopBitsPosition, 1);
    EXPECT_EQ(values.parityPosition, 2);
    EXPECT_EQ(values.flowPosition, 3);
    EXPECT_EQ(values.protocolPosition, 0);
    EXPECT_EQ(values.connectPosition, 1);
    EXPECT_EQ(values.cp1Position, 4);
    EXPECT_EQ(values.cp2Position, 3);
    EXPECT_EQ(values.cp3Position, 6);
    EXPECT_EQ(values.packPosition, -1);
}

}  // namespace
}  // namespace tamro
