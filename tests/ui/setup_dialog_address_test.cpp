#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "protocol/address_rules.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"

namespace tamro::testing {
namespace {

using Texts = std::vector<std::string>;

constexpr Ipv4 deviceA = Ipv4::fromOctets(10, 77, 0, 20);
constexpr Ipv4 farDevice = Ipv4::fromOctets(172, 16, 5, 9);

class AddressRefusalTest : public DialogTest {
protected:
    void setAddress(ControlId id, Ipv4 address) {
        ASSERT_EQ(form().userSetAddress(id, AddressFields::of(address)), UserInput::accepted)
            << controlName(id);
    }
    // One press, the confirmation (if it comes) cancelled: what was shown.
    Texts press() {
        frontEnd->messages.clear();
        frontEnd->queueAnswer(MessageAnswer::cancel);
        EXPECT_EQ(form().userClick(ControlId::writeButton), UserInput::accepted);
        frontEnd->clearAnswers();
        return frontEnd->texts();
    }
    void expectRefused(Ipv4 address, AddressFault fault) {
        EXPECT_EQ(press(), Texts{deviceAddressErrorMessage(toDottedText(address))})
            << toDottedText(address);
        EXPECT_EQ(dialog->lastWrite().result, WriteResult::refused);
        EXPECT_EQ(dialog->lastWrite().failedCheck, WriteCheck::address);
        EXPECT_EQ(dialog->lastWrite().addressFault, fault) << toDottedText(address);
        EXPECT_EQ(dialog->lastWrite().refusedAddress, address);
    }
    void expectNothingSent() {
        EXPECT_TRUE(services.writes.empty());
        EXPECT_TRUE(services.assigns.empty());
    }
};

const struct {
    Ipv4 address;
    AddressFault fault;
} refusedOnTheSubnet[] = {
    {Ipv4{}, AddressFault::thisNetwork},
    {Ipv4::fromOctets(0, 77, 0, 50), AddressFault::thisNetwork},
    {Ipv4::fromOctets(127, 0, 0, 1), AddressFault::loopback},
    {Ipv4::fromOctets(224, 0, 0, 1), AddressFault::multicast},
    {Ipv4::fromOctets(240, 0, 0, 1), AddressFault::reserved},
    {limitedBroadcast, AddressFault::limitedBroadcast},
    {Ipv4::fromOctets(10, 77, 0, 0), AddressFault::networkAddress},
    {Ipv4::fromOctets(10, 77, 0, 255), AddressFault::subnetBroadcast},
    {adapterAddress, AddressFault::adapterAddress},
};

TEST_F(AddressRefusalTest, AFixedAddressNoDeviceShouldHaveIsRefusedBeforeTheConfirmation) {
    ASSERT_TRUE(startWithModels());
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    for (const auto& each : refusedOnTheSubnet) {
        setAddress(ControlId::ipAddressCtrl, each.address);
        expectRefused(each.address, each.fault);
    }
    expectNothingSent();
    // The form stays as it was, ready for a better address.
    EXPECT_TRUE(form().enabled(ControlId::writeButton));
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 0, 254));
    EXPECT_EQ(press(), Texts{modelWriteConfirmationMessage("Free")});
}

TEST_F(AddressRefusalTest, BlankAddressFieldsReadAsZeroAndAreJudgedSo) {
    ASSERT_TRUE(startWithModels());
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    form().clearAddress(ControlId::ipAddressCtrl);
    expectRefused(Ipv4{}, AddressFault::thisNetwork);
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields{{10, 77, -1, -1}}),
              UserInput::accepted);
    expectRefused(Ipv4::fromOctets(10, 77, 0, 0), AddressFault::networkAddress);
    expectNothingSent();
}

TEST_F(AddressRefusalTest, TheAutomaticAddressLeavesTheStoredOneUnjudged) {
    ASSERT_TRUE(startWithModels());
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 0, 255));
    ASSERT_EQ(form().userClick(ControlId::dhcpCheck), UserInput::accepted);
    ASSERT_TRUE(form().checked(ControlId::dhcpCheck));
    EXPECT_EQ(press(), Texts{modelWriteConfirmationMessage("Free")});
    EXPECT_EQ(dialog->lastWrite().result, WriteResult::cancelled);
}

TEST_F(AddressRefusalTest, TheSubnetIsTheOneTheNewMaskMakes) {
    ASSERT_TRUE(startWithModels());
    search({readDevice(0x0A, deviceA)});
    selectDevice(0);
    setAddress(ControlId::netmaskCtrl, Ipv4::fromOctets(255, 255, 0, 0));
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 0, 255));
    EXPECT_EQ(press(), Texts{modelWriteConfirmationMessage("Free")});
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 255, 255));
    expectRefused(Ipv4::fromOctets(10, 77, 255, 255), AddressFault::subnetBroadcast);
    // A /31 has no network or broadcast address; the adapter's stays refused.
    setAddress(ControlId::netmaskCtrl, Ipv4::fromOctets(255, 255, 255, 254));
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 0, 0));
    EXPECT_EQ(press(), Texts{modelWriteConfirmationMessage("Free")});
    setAddress(ControlId::ipAddressCtrl, adapterAddress);
    expectRefused(adapterAddress, AddressFault::adapterAddress);
    expectNothingSent();
}

TEST_F(AddressRefusalTest, AnAssignmentIsJudgedOnTheAdaptersSubnet) {
    ASSERT_TRUE(startWithModels());
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    for (const auto& each : refusedOnTheSubnet) {
        setAddress(ControlId::ipAddressCtrl, each.address);
        expectRefused(each.address, each.fault);
        EXPECT_TRUE(dialog->lastWrite().assignment);
    }
    expectNothingSent();
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(10, 77, 0, 77));
    frontEnd->messages.clear();
    clickWrite();
    EXPECT_EQ(frontEnd->texts(),
              (Texts{std::string(writeConfirmationMessage), std::string(writeCompleteMessage)}));
    ASSERT_EQ(services.assigns.size(), 1u);
    EXPECT_EQ(services.assigns[0].newAddress, Ipv4::fromOctets(10, 77, 0, 77));
}

TEST_F(AddressRefusalTest, AnAssignmentThroughAnotherAdapterUsesThatAdapter) {
    ASSERT_TRUE(startWithModels());
    ASSERT_EQ(form().userSelect(ControlId::adapterCombo, 1), UserInput::accepted);
    search({offSubnetDevice(0xFF, farDevice)});
    selectDevice(0);
    setAddress(ControlId::ipAddressCtrl, secondAdapterAddress);
    expectRefused(secondAdapterAddress, AddressFault::adapterAddress);
    setAddress(ControlId::ipAddressCtrl, Ipv4::fromOctets(192, 168, 0, 255));
    expectRefused(Ipv4::fromOctets(192, 168, 0, 255), AddressFault::subnetBroadcast);
    // The first adapter's address is an ordinary one here.
    setAddress(ControlId::ipAddressCtrl, adapterAddress);
    EXPECT_EQ(press(), Texts{std::string(writeConfirmationMessage)});
    expectNothingSent();
}

}  // namespace
}  // namespace tamro::testing
