#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "protocol/messages.h"

namespace tamro::testing {
namespace {

using Texts = std::vector<std::string>;

constexpr Ipv4 deviceA = Ipv4::fromOctets(10, 77, 0, 20);
constexpr Ipv4 deviceB = Ipv4::fromOctets(10, 77, 0, 21);
constexpr Ipv4 farDevice = Ipv4::fromOctets(172, 16, 5, 9);

class SearchTest : public DialogTest {
protected:
    void SetUp() override { ASSERT_TRUE(startWithoutModels()); }
};

TEST_F(SearchTest, ListsTheKeptDevicesInTableOrderAndSearchesFromTheChosenAdapter) {
    search(
        {readDevice(0x0A, deviceA), offSubnetDevice(0xFF, farDevice), readDevice(0x0B, deviceB)});
    EXPECT_EQ(form().items(ControlId::deviceList),
              (Texts{"02-00-00-01-02-0A / 10.77.0.20", "02-00-00-01-02-FF / 172.16.5.9",
                     "02-00-00-01-02-0B / 10.77.0.21"}));
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(enabledSettings(form()).empty());
    ASSERT_EQ(services.searches.size(), 1u);
    EXPECT_EQ(services.searches[0].address, adapterAddress);
    EXPECT_EQ(services.searches[0].mask, adapterMask);
    EXPECT_EQ(services.searches[0].interfaceName, "veth0");

    ASSERT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::accepted);
    search({});
    ASSERT_EQ(services.searches.size(), 2u);
    EXPECT_EQ(services.searches[1].address, secondAdapterAddress);
    EXPECT_EQ(services.searches[1].interfaceName, "eth1");
}

TEST_F(SearchTest, ListsOnlyTheDevicesTheSearchKeptAfterADrop) {
    // The first device fails its read and is dropped in place: the count
    // stays at two, but only one device is left to list.
    services.search = [](DeviceTable& devices) {
        devices.deviceCount = 2;
        devices.devices[0] = readDevice(0x0A, deviceA);
        devices.devices[1] = readDevice(0x0B, deviceB);
        devices.devices[1].localPort = 20002;
        dropDeviceInPlace(devices, 0);
        return 1;
    };
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    EXPECT_EQ(form().items(ControlId::deviceList), Texts{"02-00-00-01-02-0B / 10.77.0.21"});
    selectDevice(0);
    EXPECT_EQ(form().text(ControlId::portCurrent), "20002");
}

TEST_F(SearchTest, ASearchThatFindsNothingLeavesAnEmptyEnabledListAndTheSettingsOff) {
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    ASSERT_FALSE(enabledSettings(form()).empty());
    search({});
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(enabledSettings(form()).empty());
    EXPECT_EQ(form().text(ControlId::portEdit), "");
    EXPECT_EQ(form().text(ControlId::baudCurrent), "");
    EXPECT_TRUE(frontEnd->messages.empty());
}

TEST_F(SearchTest, ADiscoveryFailureBeforeAnythingWasStoredKeepsTheList) {
    search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
    selectDevice(1);
    services.search = [](DeviceTable& devices) {
        devices.deviceCount = 0;  // discovery's reset, then the bind fails
        return -1;
    };
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(communicationErrorMessage)});
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 2);
    EXPECT_TRUE(enabledSettings(form()).empty());
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "0.0.0.0");
    // The table goes on matching the list, removal included.
    EXPECT_EQ(table->deviceCount, 2);
    selectDevice(1);
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "10.77.0.21");
}

TEST_F(SearchTest, ADiscoveryFailureAfterRepliesWereStoredEmptiesTheList) {
    search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
    services.search = [](DeviceTable& devices) {
        devices.deviceCount = 0;
        devices.devices[0].peer.address = farDevice;  // a reply over row 0, then the wait fails
        return -1;
    };
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(communicationErrorMessage)});
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
}

// --- the search on a worker thread ------------------------------------------------------

// What a search left behind: the form, the messages and the table.
struct SearchOutcome {
    FormState form;
    std::vector<ShownMessage> messages;
    std::int32_t deviceCount = 0;
    std::vector<DeviceRecord> rows;
};

class SearchWorkerTest : public DialogTest {
protected:
    using Script = std::function<std::int32_t(DeviceTable&)>;

    // A first search lists A and B and B is shown; then the second search
    // runs `second`, inline or on a thread, which is held while `during`
    // looks at the dialog.
    SearchOutcome run(ScriptedFrontEnd::Workers workers, const Script& second,
                      const std::function<void()>& during = {}) {
        dialog.reset();
        frontEnd = std::make_unique<ScriptedFrontEnd>(workers);
        table = std::make_unique<DeviceTable>();
        services.search = nullptr;
        EXPECT_TRUE(startWithModels());
        search({readDevice(0x0A, deviceA), readDevice(0x0B, deviceB)});
        selectDevice(1);
        frontEnd->busyChanges.clear();

        services.search = second;
        if (during) services.holdWorker();
        EXPECT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
        if (during) {
            services.waitForHeldWorker();
            during();
            services.releaseWorker();
        }
        frontEnd->finishWorker();
        SearchOutcome outcome{captureForm(form()), frontEnd->messages, table->deviceCount, {}};
        outcome.rows.assign(table->devices.begin(), table->devices.begin() + 4);
        return outcome;
    }

    void expectSameAsInline(const Script& second) {
        const SearchOutcome inlined = run(ScriptedFrontEnd::Workers::inlineOnCaller, second);
        EXPECT_EQ(frontEnd->busyChanges, (std::vector<bool>{true, false}));
        const SearchOutcome threaded =
            run(ScriptedFrontEnd::Workers::onThread, second, [this] { expectSuspended(); });
        EXPECT_EQ(changedControls(inlined.form, threaded.form), std::vector<std::string>{});
        EXPECT_EQ(threaded.messages, inlined.messages);
        EXPECT_EQ(threaded.deviceCount, inlined.deviceCount);
        EXPECT_TRUE(threaded.rows == inlined.rows);
        EXPECT_EQ(frontEnd->busyChanges, (std::vector<bool>{true, false}));
        EXPECT_FALSE(dialog->searchRunning());
    }

    // While the search runs nothing reaches the table or reads the form.
    void expectSuspended() {
        EXPECT_TRUE(dialog->searchRunning());
        EXPECT_EQ(frontEnd->busyChanges, std::vector<bool>{true});
        for (const ControlId id : {ControlId::searchButton, ControlId::adapterCombo,
                                   ControlId::modelCombo, ControlId::deviceList}) {
            EXPECT_FALSE(form().enabled(id)) << controlName(id);
        }
        EXPECT_TRUE(enabledSettings(form()).empty());
        EXPECT_EQ(form().userClick(ControlId::searchButton), UserInput::ignored);
        EXPECT_EQ(form().userSelect(ControlId::deviceList, 0), UserInput::ignored);
        EXPECT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::ignored);
        // A handler dispatched past the disabled controls is refused too.
        dialog->handle(Handler::onDeviceSelected, ControlId::deviceList);
        dialog->handle(Handler::onAdapterChanged, ControlId::adapterCombo);
        EXPECT_EQ(form().itemCount(ControlId::deviceList), 2);
        EXPECT_TRUE(enabledSettings(form()).empty());
        EXPECT_TRUE(frontEnd->messages.empty());
    }
};

TEST_F(SearchWorkerTest, AFoundListWithADropEndsAsTheSearchInPlaceEnds) {
    expectSameAsInline([](DeviceTable& devices) {
        devices.deviceCount = 3;
        devices.devices[0] = readDevice(0x0C, Ipv4::fromOctets(10, 77, 0, 22));
        devices.devices[1] = offSubnetDevice(0xFF, farDevice);
        devices.devices[2] = readDevice(0x0D, Ipv4::fromOctets(10, 77, 0, 23));
        dropDeviceInPlace(devices, 0);
        return 2;
    });
    EXPECT_EQ(form().items(ControlId::deviceList),
              (Texts{"02-00-00-01-02-FF / 172.16.5.9", "02-00-00-01-02-0D / 10.77.0.23"}));
    EXPECT_TRUE(form().enabled(ControlId::deviceList));
    EXPECT_TRUE(form().enabled(ControlId::modelCombo));
}

TEST_F(SearchWorkerTest, BothDiscoveryFailuresEndAsTheSearchInPlaceEnds) {
    expectSameAsInline([](DeviceTable& devices) {
        devices.deviceCount = 0;
        return -1;
    });
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 2);
    EXPECT_EQ(table->deviceCount, 2);
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(communicationErrorMessage)});

    expectSameAsInline([](DeviceTable& devices) {
        devices.deviceCount = 1;
        devices.devices[0] = readDevice(0x0C, Ipv4::fromOctets(10, 77, 0, 22));
        return -1;
    });
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
    EXPECT_EQ(frontEnd->texts(), Texts{std::string(communicationErrorMessage)});
    // The message came from the dialog's thread.
    ASSERT_EQ(frontEnd->messages.size(), 1u);
    EXPECT_TRUE(frontEnd->messages[0].onDialogThread);
}

// A list that a failed write left off stays off after a failed search, as
// it would in place; the search's own switching never turns it on.
TEST_F(SearchWorkerTest, TheSearchPutsBackTheSwitchesItFound) {
    frontEnd = std::make_unique<ScriptedFrontEnd>(ScriptedFrontEnd::Workers::onThread);
    ASSERT_TRUE(startWithoutModels());
    search({readDevice(0x0A, deviceA)});
    form().setEnabled(ControlId::deviceList, false);
    services.search = [](DeviceTable&) { return -1; };
    ASSERT_EQ(form().userClick(ControlId::searchButton), UserInput::accepted);
    frontEnd->finishWorker();
    EXPECT_FALSE(form().enabled(ControlId::deviceList));
    EXPECT_FALSE(form().enabled(ControlId::modelCombo));  // no models
    EXPECT_TRUE(form().enabled(ControlId::searchButton));
    EXPECT_TRUE(form().enabled(ControlId::adapterCombo));
}

TEST_F(SearchTest, ChangingTheAdapterEmptiesListAndSettingsWithoutSearching) {
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    ASSERT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::accepted);
    EXPECT_EQ(form().itemCount(ControlId::deviceList), 0);
    EXPECT_TRUE(enabledSettings(form()).empty());
    EXPECT_EQ(form().text(ControlId::portEdit), "");
    EXPECT_EQ(form().text(ControlId::portCurrent), "");
    EXPECT_EQ(services.searches.size(), 1u);
    EXPECT_EQ(table->deviceCount, 1);
}

TEST_F(SearchTest, ADeviceOffTheSubnetOffersOnlyItsAddressPingAndWrite) {
    DeviceRecord automatic = readDevice(0x0A, deviceA);
    automatic.dhcp = 1;
    search({automatic, offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    ASSERT_TRUE(form().checked(ControlId::dhcpCheck));

    selectDevice(1);
    EXPECT_EQ(enabledSettings(form()), (Texts{"ipAddressCtrl", "pingButton", "writeButton"}));
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "172.16.5.9");
    EXPECT_TRUE(form().checked(ControlId::dhcpCheck));  // kept, but out of reach
    EXPECT_EQ(form().text(ControlId::portEdit), "");
    EXPECT_EQ(form().selection(ControlId::baudCombo), -1);
    for (const ControlId id : currentSettingTexts)
        EXPECT_EQ(form().text(id), "") << controlName(id);
}

// --- the display of a read device -------------------------------------------------

class DisplayTest : public SearchTest {
protected:
    void show(const DeviceRecord& device) {
        search({device});
        selectDevice(0);
    }
};

TEST_F(DisplayTest, ShowsEveryFieldAsCurrentTextAndAsTheEditableValue) {
    DeviceRecord device = readDevice(0x0A, deviceA);
    device.ipAddress = Ipv4::fromOctets(10, 77, 0, 30);
    device.netmask = Ipv4::fromOctets(255, 255, 0, 0);
    device.gateway = Ipv4::fromOctets(10, 77, 0, 254);
    device.parity = 2;
    device.flowControl = 5;
    device.cp1Function = 10;
    device.cp2Function = 13;
    device.cp3Function = 3;
    device.connectMode = 0x25;
    device.remoteIp = Ipv4::fromOctets(192, 168, 5, 6);
    device.remotePort = 502;
    device.keepAlive = 30;
    device.packControl = 4;
    show(device);

    const struct {
        ControlId current;
        std::string currentText;
        ControlId editable;
        std::int32_t position;
    } lists[] = {
        {ControlId::protocolCurrent, "TCP", ControlId::protocolCombo, 0},
        {ControlId::baudCurrent, "9600", ControlId::baudCombo, 5},
        {ControlId::dataBitsCurrent, "8", ControlId::dataBitsCombo, 1},
        {ControlId::stopBitsCurrent, "1", ControlId::stopBitsCombo, 0},
        {ControlId::parityCurrent, "偶数", ControlId::parityCombo, 2},
        {ControlId::flowCurrent, "Xon/XoffをLANに送る", ControlId::flowCombo, 3},
        {ControlId::cp1Current, "Status LED 1", ControlId::cp1Combo, 3},
        {ControlId::cp2Current, "Link Status", ControlId::cp2Combo, 4},
        {ControlId::cp3Current, "Modem Control In", ControlId::cp3Combo, 1},
        {ControlId::connectCurrent, "電源投入時", ControlId::connectCombo, 2},
        {ControlId::packCurrent, "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ5000msec", ControlId::packCombo, 4},
    };
    for (const auto& row : lists) {
        EXPECT_EQ(form().text(row.current), row.currentText) << controlName(row.current);
        EXPECT_EQ(form().selection(row.editable), row.position) << controlName(row.editable);
    }
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "10.77.0.30");
    EXPECT_EQ(form().text(ControlId::netmaskCtrl), "255.255.0.0");
    EXPECT_EQ(form().text(ControlId::gatewayCtrl), "10.77.0.254");
    EXPECT_EQ(form().text(ControlId::portCurrent), "10001");
    EXPECT_EQ(form().text(ControlId::portEdit), "10001");
    EXPECT_EQ(form().text(ControlId::remoteIpCurrent), "192.168.5.6");
    EXPECT_EQ(form().text(ControlId::remoteIpCtrl), "192.168.5.6");
    EXPECT_EQ(form().text(ControlId::remotePortCurrent), "502");
    EXPECT_EQ(form().text(ControlId::remotePortEdit), "502");
    EXPECT_EQ(form().text(ControlId::keepAliveCurrent), "30");
    EXPECT_EQ(form().text(ControlId::keepAliveEdit), "30");
    EXPECT_FALSE(form().checked(ControlId::dhcpCheck));
    // No model loaded: only the dependent rules narrow the form.
    EXPECT_EQ(enabledSettings(form()).size(), settingsControls.size());
}

TEST_F(DisplayTest, ValuesOutsideTheListsLeaveNoSelection) {
    DeviceRecord device = readDevice(0x0A, deviceA);
    device.baudRate = 12345;
    device.flowControl = 3;
    device.dataBits = 9;
    device.stopBits = 3;
    device.cp2Function = 0;  // a CP1 function, not on CP2's list
    show(device);
    EXPECT_EQ(form().text(ControlId::baudCurrent), "");
    EXPECT_EQ(form().selection(ControlId::baudCombo), -1);
    EXPECT_EQ(form().text(ControlId::flowCurrent), "");
    EXPECT_EQ(form().selection(ControlId::flowCombo), -1);
    EXPECT_EQ(form().text(ControlId::dataBitsCurrent), "9");
    EXPECT_EQ(form().selection(ControlId::dataBitsCombo), -1);
    EXPECT_EQ(form().text(ControlId::stopBitsCurrent), "3");
    EXPECT_EQ(form().selection(ControlId::stopBitsCombo), -1);
    EXPECT_EQ(form().text(ControlId::cp2Current), "HW Flow Control Out");
    EXPECT_EQ(form().selection(ControlId::cp2Combo), -1);
}

TEST_F(DisplayTest, OnlyTheConnectNibbleDecidesTheConnectCondition) {
    const struct {
        std::int32_t connectMode;
        std::int32_t protocol;
        std::string text;
        std::int32_t position;
    } cases[] = {
        {0x00, 0, "接続しない", 0},     {0x03, 0, "接続しない", 0}, {0x0C, 1, "接続しない", 0},
        {0x21, 0, "シリアル受信時", 1}, {0x25, 0, "電源投入時", 2}, {0xF5, 0, "電源投入時", 2},
    };
    for (const auto& c : cases) {
        DeviceRecord device = readDevice(0x0A, deviceA);
        device.connectMode = c.connectMode;
        device.protocol = c.protocol;
        show(device);
        EXPECT_EQ(form().text(ControlId::connectCurrent), c.text) << c.connectMode;
        EXPECT_EQ(form().selection(ControlId::connectCombo), c.position) << c.connectMode;
    }
}

TEST_F(DisplayTest, NoDestinationLeavesItsTextsAndFieldsBlank) {
    show(readDevice(0x0A, deviceA));
    EXPECT_EQ(form().text(ControlId::remoteIpCurrent), "");
    EXPECT_EQ(form().address(ControlId::remoteIpCtrl).filledCount(), 0);
    EXPECT_EQ(form().text(ControlId::remotePortCurrent), "");
    EXPECT_EQ(form().text(ControlId::remotePortEdit), "");
}

TEST_F(DisplayTest, AnAutomaticAddressIsShownButOutOfReach) {
    DeviceRecord device = readDevice(0x0A, deviceA);
    device.dhcp = 1;
    show(device);
    EXPECT_TRUE(form().checked(ControlId::dhcpCheck));
    EXPECT_TRUE(form().enabled(ControlId::dhcpCheck));
    for (const ControlId id : {ControlId::ipAddressCtrl, ControlId::netmaskCtrl,
                               ControlId::gatewayCtrl, ControlId::pingButton}) {
        EXPECT_FALSE(form().enabled(id)) << controlName(id);
    }
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "10.77.0.20");
    EXPECT_EQ(form().text(ControlId::netmaskCtrl), "255.255.255.0");
    EXPECT_EQ(form().text(ControlId::gatewayCtrl), "10.77.0.1");
}

}  // namespace
}  // namespace tamro::testing
