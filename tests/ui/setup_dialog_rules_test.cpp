#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "dialog_test_support.h"

namespace tamro::testing {
namespace {

constexpr Ipv4 deviceA = Ipv4::fromOctets(10, 77, 0, 20);
constexpr std::int32_t tcp = 0;
constexpr std::int32_t udp = 1;

// --- the client-mode state table ---------------------------------------------------

struct ClientModeRow {
    std::optional<std::int32_t> model;  // nothing: no model file
    std::int32_t protocol;
    std::int32_t connectNibble;  // the device's own connect condition
    bool protocolEnabled;
    bool connectEnabled;
    std::int32_t connectPosition;
    bool destinationEnabled;
};

std::ostream& operator<<(std::ostream& out, const ClientModeRow& row) {
    return out << "model " << (row.model ? std::to_string(*row.model) : "none") << ", "
               << (row.protocol == udp ? "UDP" : "TCP") << ", connect " << row.connectNibble;
}

class ClientModeTable : public DialogTest, public ::testing::WithParamInterface<ClientModeRow> {
protected:
    void expectRow() {
        const ClientModeRow& row = GetParam();
        EXPECT_EQ(form().enabled(ControlId::protocolCombo), row.protocolEnabled);
        EXPECT_EQ(form().enabled(ControlId::connectCombo), row.connectEnabled);
        EXPECT_EQ(form().selection(ControlId::connectCombo), row.connectPosition);
        EXPECT_EQ(form().enabled(ControlId::remoteIpCtrl), row.destinationEnabled);
        EXPECT_EQ(form().enabled(ControlId::remotePortEdit), row.destinationEnabled);
    }
    DeviceRecord device() const {
        DeviceRecord record = readDevice(0x0A, deviceA);
        record.protocol = GetParam().protocol;
        record.connectMode = GetParam().connectNibble | (GetParam().protocol == udp ? 0x0C : 0);
        return record;
    }
};

TEST_P(ClientModeTable, HoldsAfterTheDisplayOfAReadDevice) {
    const ClientModeRow& row = GetParam();
    ASSERT_TRUE(row.model ? startWithModels() : startWithoutModels());
    // A choice without a read device selected waits for the next display.
    if (row.model) chooseModel(*row.model);
    search({device()});
    selectDevice(0);
    expectRow();
}

class ClientModeTableOnModelChoice : public ClientModeTable {};

TEST_P(ClientModeTableOnModelChoice, HoldsAfterAModelChoiceWhileADeviceIsSelected) {
    ASSERT_TRUE(startWithModels());
    search({device()});
    selectDevice(0);
    chooseModel(*GetParam().model);
    expectRow();
}

const ClientModeRow modelRows[] = {
    // client mode 0: everything locked at "no connection"
    ClientModeRow{fixedModel, tcp, 0x1, false, false, 0, false},
    ClientModeRow{fixedModel, udp, 0x0, false, false, 0, false},
    // client mode 1: free; TCP's destination follows the connect condition
    ClientModeRow{freeModel, tcp, 0x0, true, true, 0, false},
    ClientModeRow{freeModel, tcp, 0x5, true, true, 2, true},
    ClientModeRow{freeModel, udp, 0x0, true, false, 0, true},
    // client mode 2: "on serial reception" preselected, yet changeable with TCP
    ClientModeRow{serialModel, tcp, 0x0, true, true, 1, true},
    ClientModeRow{serialModel, udp, 0x0, true, false, 0, true},
};

// No model file: only the dependent rules.
const ClientModeRow noModelRows[] = {
    ClientModeRow{std::nullopt, tcp, 0x0, true, true, 0, false},
    ClientModeRow{std::nullopt, tcp, 0x1, true, true, 1, true},
    ClientModeRow{std::nullopt, udp, 0x0, true, false, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Models, ClientModeTable, ::testing::ValuesIn(modelRows));
INSTANTIATE_TEST_SUITE_P(NoModels, ClientModeTable, ::testing::ValuesIn(noModelRows));
INSTANTIATE_TEST_SUITE_P(Models, ClientModeTableOnModelChoice, ::testing::ValuesIn(modelRows));

// --- the other model columns ------------------------------------------------------------

class ModelRulesTest : public DialogTest {
protected:
    void SetUp() override { ASSERT_TRUE(startWithModels()); }
    void showDevice(const DeviceRecord& device) {
        search({device});
        selectDevice(0);
    }
};

TEST_F(ModelRulesTest, AFixedPortStaysWhenTheNextModelFreesIt) {
    showDevice(readDevice(0x0A, deviceA));
    chooseModel(fixedModel);
    EXPECT_EQ(form().text(ControlId::portEdit), "10000");
    EXPECT_FALSE(form().enabled(ControlId::portEdit));
    EXPECT_EQ(form().text(ControlId::portCurrent), "10001");

    chooseModel(freeModel);
    EXPECT_EQ(form().text(ControlId::portEdit), "10000");
    EXPECT_TRUE(form().enabled(ControlId::portEdit));
}

TEST_F(ModelRulesTest, TheBaudLimitLowersOnlyFasterRates) {
    DeviceRecord fast = readDevice(0x0A, deviceA);
    fast.baudRate = 921600;
    chooseModel(limitedModel);
    showDevice(fast);
    EXPECT_EQ(form().selection(ControlId::baudCombo), 9);
    EXPECT_EQ(form().text(ControlId::baudCombo), "115200");
    EXPECT_EQ(form().text(ControlId::baudCurrent), "921600");

    showDevice(readDevice(0x0A, deviceA));
    EXPECT_EQ(form().selection(ControlId::baudCombo), 5);
}

TEST_F(ModelRulesTest, DefaultsReplaceTheDevicesValuesAndTheLimitCapsTheDefault) {
    DeviceRecord device = readDevice(0x0A, deviceA);
    device.cp3Function = 11;  // position 4 on CP3; the model leaves it alone
    showDevice(device);
    chooseModel(fixedModel);
    EXPECT_EQ(form().selection(ControlId::baudCombo), 9);  // default 12, limit 9
    EXPECT_EQ(form().selection(ControlId::dataBitsCombo), 0);
    EXPECT_EQ(form().selection(ControlId::parityCombo), 2);
    EXPECT_EQ(form().selection(ControlId::stopBitsCombo), 1);
    EXPECT_EQ(form().selection(ControlId::flowCombo), 3);
    for (const ControlId id :
         {ControlId::baudCombo, ControlId::dataBitsCombo, ControlId::stopBitsCombo,
          ControlId::parityCombo, ControlId::flowCombo, ControlId::cp1Combo, ControlId::cp2Combo,
          ControlId::cp3Combo}) {
        EXPECT_FALSE(form().enabled(id)) << controlName(id);
    }
    // Pin defaults reach the hidden lists; a code the pin lacks leaves none.
    EXPECT_EQ(form().selection(ControlId::cp1Combo), -1);
    EXPECT_EQ(form().selection(ControlId::cp2Combo), 4);
    EXPECT_EQ(form().selection(ControlId::cp3Combo), 4);
    EXPECT_FALSE(form().visible(ControlId::cp2Combo));
    // Untouched by any model: the protocol's neighbours and the address box.
    for (const ControlId id : {ControlId::keepAliveEdit, ControlId::packCombo,
                               ControlId::ipAddressCtrl, ControlId::writeButton}) {
        EXPECT_TRUE(form().enabled(id)) << controlName(id);
    }

    chooseModel(freeModel);
    for (const ControlId id : {ControlId::baudCombo, ControlId::cp1Combo, ControlId::connectCombo,
                               ControlId::protocolCombo}) {
        EXPECT_TRUE(form().enabled(id)) << controlName(id);
    }
    EXPECT_EQ(form().selection(ControlId::parityCombo), 2);  // left as the last model set it
}

TEST_F(ModelRulesTest, AnUnknownClientModeLeavesTheClientControlsAsTheLastModelLeftThem) {
    showDevice(readDevice(0x0A, deviceA));
    chooseModel(fixedModel);
    chooseModel(oddModel);
    EXPECT_FALSE(form().enabled(ControlId::protocolCombo));
    EXPECT_FALSE(form().takesUserInput(ControlId::protocolCombo));
    EXPECT_EQ(form().userSelect(ControlId::protocolCombo, udp), UserInput::ignored);
}

TEST_F(ModelRulesTest, AModelChoiceWithoutAReadDeviceChangesNothing) {
    const FormState idle = captureForm(form());
    chooseModel(fixedModel);
    EXPECT_EQ(changedControls(idle, captureForm(form())), std::vector<std::string>{"modelCombo"});

    search({offSubnetDevice(0xFF, Ipv4::fromOctets(172, 16, 5, 9))});
    selectDevice(0);
    const FormState offSubnet = captureForm(form());
    chooseModel(freeModel);
    EXPECT_EQ(changedControls(offSubnet, captureForm(form())),
              std::vector<std::string>{"modelCombo"});
}

// --- the dependent rules on the user's changes -------------------------------------------

TEST_F(ModelRulesTest, SwitchingToUdpLocksTheConnectConditionAndOpensTheDestination) {
    showDevice(readDevice(0x0A, deviceA));
    ASSERT_EQ(form().userSelect(ControlId::protocolCombo, udp), UserInput::accepted);
    EXPECT_FALSE(form().enabled(ControlId::connectCombo));
    EXPECT_EQ(form().selection(ControlId::connectCombo), 0);
    EXPECT_TRUE(form().enabled(ControlId::remoteIpCtrl));
    EXPECT_TRUE(form().enabled(ControlId::remotePortEdit));

    ASSERT_EQ(form().userSelect(ControlId::protocolCombo, tcp), UserInput::accepted);
    EXPECT_TRUE(form().enabled(ControlId::connectCombo));
    EXPECT_EQ(form().selection(ControlId::connectCombo), 0);
    EXPECT_FALSE(form().enabled(ControlId::remoteIpCtrl));
    EXPECT_FALSE(form().enabled(ControlId::remotePortEdit));
}

TEST_F(ModelRulesTest, TheConnectConditionOpensAndClosesTheDestination) {
    showDevice(readDevice(0x0A, deviceA));
    ASSERT_EQ(form().userSelect(ControlId::connectCombo, 1), UserInput::accepted);
    EXPECT_TRUE(form().enabled(ControlId::remoteIpCtrl));
    EXPECT_TRUE(form().enabled(ControlId::remotePortEdit));
    ASSERT_EQ(form().userSetAddress(ControlId::remoteIpCtrl, AddressFields::of(deviceA)),
              UserInput::accepted);
    ASSERT_EQ(form().userSelect(ControlId::connectCombo, 0), UserInput::accepted);
    EXPECT_FALSE(form().enabled(ControlId::remoteIpCtrl));
    EXPECT_FALSE(form().enabled(ControlId::remotePortEdit));
    EXPECT_EQ(form().text(ControlId::remoteIpCtrl), "10.77.0.20");
}

TEST_F(ModelRulesTest, TheAutomaticAddressBoxSwitchesTheAddressFieldsAndKeepsThem) {
    showDevice(readDevice(0x0A, deviceA));
    const std::vector<ControlId> addressBox = {ControlId::ipAddressCtrl, ControlId::netmaskCtrl,
                                               ControlId::gatewayCtrl, ControlId::pingButton};
    ASSERT_EQ(form().userClick(ControlId::dhcpCheck), UserInput::accepted);
    ASSERT_TRUE(form().checked(ControlId::dhcpCheck));
    for (const ControlId id : addressBox) EXPECT_FALSE(form().enabled(id)) << controlName(id);
    EXPECT_EQ(form().text(ControlId::ipAddressCtrl), "10.77.0.20");
    EXPECT_EQ(form().text(ControlId::gatewayCtrl), "10.77.0.1");

    ASSERT_EQ(form().userClick(ControlId::dhcpCheck), UserInput::accepted);
    for (const ControlId id : addressBox) EXPECT_TRUE(form().enabled(id)) << controlName(id);
    EXPECT_EQ(form().text(ControlId::netmaskCtrl), "255.255.255.0");
}

}  // namespace
}  // namespace tamro::testing
