#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"

namespace tamro::testing {
namespace {

using Texts = std::vector<std::string>;
using Mac = std::array<std::uint8_t, 6>;

constexpr Ipv4 sharedAddress = Ipv4::fromOctets(10, 77, 0, 11);
constexpr Ipv4 otherAddress = Ipv4::fromOctets(10, 77, 0, 20);
constexpr Ipv4 farDevice = Ipv4::fromOctets(172, 16, 5, 9);
constexpr Ipv4 freeAddress = Ipv4::fromOctets(10, 77, 0, 51);

std::string text(std::string_view view) { return std::string(view); }

// A device that answered from an address another device answered from too:
// the search lists it unread, as it lists a device off the subnet.
DeviceRecord sharingDevice(std::uint8_t macLast) { return offSubnetDevice(macLast, sharedAddress); }

class ConflictTest : public DialogTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(startWithModels());
        search({sharingDevice(0x11), readDevice(0x20, otherAddress), sharingDevice(0x78),
                offSubnetDevice(0xFF, farDevice)});
    }
};

TEST_F(ConflictTest, ASharedAddressOffersOnlyTheNewAddressAndSaysWhy) {
    selectDevice(2);
    EXPECT_EQ(dialog->selectedDeviceSharesWith(), (std::vector<Mac>{{2, 0, 0, 1, 2, 0x11}}));
    EXPECT_EQ(enabledSettings(form()),
              (std::vector<std::string>{"ipAddressCtrl", "pingButton", "writeButton"}));
    EXPECT_EQ(form().address(ControlId::ipAddressCtrl).value(), sharedAddress);
    for (const ControlId id : {ControlId::portEdit, ControlId::baudCombo, ControlId::netmaskCtrl,
                               ControlId::dhcpCheck}) {
        EXPECT_EQ(dialog->offReason(id), OffReason::sharedAddress) << controlName(id);
    }
    // A model choice does not bring the settings back: nothing was read.
    chooseModel(freeModel);
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::sharedAddress);
    EXPECT_EQ(form().text(ControlId::portCurrent), "");

    // A device off the subnet keeps its own reason, and has nobody at its address.
    selectDevice(3);
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::offSubnet);
    EXPECT_TRUE(dialog->selectedDeviceSharesWith().empty());
}

TEST_F(ConflictTest, TheWriteIsTheAssignmentByMacNeverAWriteByAddress) {
    selectDevice(2);
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(freeAddress)),
              UserInput::accepted);
    clickWrite();
    EXPECT_TRUE(services.writes.empty());
    ASSERT_EQ(services.assigns.size(), 1u);
    EXPECT_EQ(services.assigns[0].mac, (Mac{2, 0, 0, 1, 2, 0x78}));
    EXPECT_EQ(services.assigns[0].newAddress, freeAddress);
    EXPECT_TRUE(dialog->lastWrite().assignment);

    // The one left behind was never read: still only its address, and
    // still for the same reason, though nobody shares it now.
    ASSERT_EQ(form().itemCount(ControlId::deviceList), 3);
    selectDevice(0);
    EXPECT_TRUE(dialog->selectedDeviceSharesWith().empty());
    EXPECT_EQ(dialog->offReason(ControlId::portEdit), OffReason::sharedAddress);
    EXPECT_EQ(enabledSettings(form()),
              (std::vector<std::string>{"ipAddressCtrl", "pingButton", "writeButton"}));
}

TEST_F(ConflictTest, PingOfAnAddressAListedDeviceAnswersFromIsAConflictWithoutAnEcho) {
    selectDevice(1);
    services.echoAnswer = 0;  // echo replies dropped on the way
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(sharedAddress)),
              UserInput::accepted);
    EXPECT_EQ(dialog->probeAddress(), 2);
    frontEnd->messages.clear();
    ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
    EXPECT_EQ(frontEnd->texts(), Texts{text(pingConflictMessage)});
    EXPECT_EQ(dialog->lastPing().result, PingResult::otherHost);
    EXPECT_TRUE(dialog->lastPing().listedDeviceThere);

    // A free address stays free; the device's own address is still its own.
    ASSERT_EQ(form().userSetAddress(ControlId::ipAddressCtrl, AddressFields::of(freeAddress)),
              UserInput::accepted);
    frontEnd->messages.clear();
    ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
    EXPECT_EQ(frontEnd->texts(), Texts{text(pingNoAnswerMessage)});
    EXPECT_FALSE(dialog->lastPing().listedDeviceThere);

    // From one of the two sharing it, its own address is taken by the other.
    selectDevice(0);
    services.echoAnswer = 1;
    frontEnd->messages.clear();
    ASSERT_EQ(form().userClick(ControlId::pingButton), UserInput::accepted);
    EXPECT_EQ(frontEnd->texts(), Texts{text(pingConflictMessage)});
    EXPECT_EQ(dialog->lastPing().result, PingResult::otherHost);
}

}  // namespace
}  // namespace tamro::testing
