#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doctor_firewall.h"
#include "doctor_test_support.h"

namespace tamro::cli {
namespace {

TEST(DoctorFirewall, IptablesRulesThatDropTheDevicesRepliesAndHowToRemoveThem) {
    const std::string text =
        "*filter\n"
        ":INPUT ACCEPT [0:0]\n"
        "-A INPUT -p tcp -m tcp --dport 22 -j DROP\n"
        "-A INPUT -s 10.0.0.0/8 -j DROP\n"
        "-A INPUT -p udp -m udp --sport 30718 -j DROP\n"
        "-A INPUT -p udp -j REJECT --reject-with icmp-port-unreachable\n"
        "-A OUTPUT -p udp --dport 30718 -j DROP\n"
        "COMMIT\n";
    const auto found = problemsIn(firewallFindings({"iptables", "iptables-save", text}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].fix, "iptables -D INPUT -p udp -m udp --sport 30718 -j DROP");
    EXPECT_EQ(found[1].fix, "iptables -D INPUT -p udp -j REJECT --reject-with icmp-port-unreachable");
}

TEST(DoctorFirewall, AnInputPolicyOfDropNeedsARuleForThePort) {
    const std::string closed = "*filter\n:INPUT DROP [0:0]\n-A INPUT -i lo -j ACCEPT\nCOMMIT\n";
    const auto found = problemsIn(firewallFindings({"iptables", "iptables-save", closed}));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fix, "iptables -I INPUT -p udp --sport 30718 -j ACCEPT");

    const std::string open = closed + "-A INPUT -p udp --sport 30718 -j ACCEPT\n";
    EXPECT_TRUE(problemsIn(firewallFindings({"iptables", "iptables-save", open})).empty());
}

TEST(DoctorFirewall, NftablesRulesWithoutHandlesAndOutsideTheInputHook) {
    const std::string text =
        "table ip filter {\n"
        "\tchain output {\n"
        "\t\ttype filter hook output priority filter; policy accept;\n"
        "\t\tudp dport 30718 drop\n"
        "\t}\n"
        "\tchain input {\n"
        "\t\ttype filter hook input priority filter; policy accept;\n"
        "\t\tct state established accept\n"
        "\t\tudp dport 30718 counter packets 0 bytes 0 drop\n"
        "\t}\n"
        "}\n";
    const auto found = problemsIn(firewallFindings({"nftables", "nft list ruleset", text}));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].what,
              "nftables rule in ip filter input: udp dport 30718 counter packets 0 bytes 0 drop");
    EXPECT_EQ(found[0].fix.rfind("nft -a list chain ip filter input", 0), 0u);
}

TEST(DoctorFirewall, NftablesInputChainsThatDropByPolicyAndRulesWithHandles) {
    const std::string text =
        "table inet lab { # handle 4\n"
        "\tchain closed { # handle 1\n"
        "\t\ttype filter hook input priority filter + 1; policy drop;\n"
        "\t\tip saddr 10.77.0.0/24 accept # handle 2\n"
        "\t}\n"
        "\tchain open { # handle 3\n"
        "\t\ttype filter hook input priority filter + 2; policy drop;\n"
        "\t\tudp sport 30718 accept # handle 5\n"
        "\t\tdrop # handle 6\n"
        "\t}\n"
        "}\n";
    const auto found = problemsIn(firewallFindings({"nftables", "nft -a list ruleset", text}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].what, "nftables chain inet lab closed drops incoming packets by policy "
                             "and accepts none from port 30718");
    EXPECT_EQ(found[0].fix, "nft insert rule inet lab closed udp sport 30718 accept");
    EXPECT_EQ(found[1].what, "nftables rule in inet lab open: drop");
    EXPECT_EQ(found[1].fix, "nft delete rule inet lab open handle 6");

    const auto clean = firewallFindings({"nftables", "nft -a list ruleset", "table ip empty {\n}\n"});
    ASSERT_EQ(clean.size(), 1u);
    EXPECT_FALSE(clean[0].problem);
    EXPECT_EQ(clean[0].what, "nftables: no rule drops UDP port 30718");
}

TEST(DoctorFirewall, AListingThatCouldNotBeReadIsSaidSo) {
    const auto found = firewallFindings({"nftables", "nft -a list ruleset", std::nullopt});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].problem);
    EXPECT_NE(found[0].what.find("could not be read"), std::string::npos);
}

}  // namespace
}  // namespace tamro::cli
