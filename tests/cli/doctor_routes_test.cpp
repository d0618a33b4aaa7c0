#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doctor_command.h"
#include "platform/ipv4.h"

namespace tamro::cli {
namespace {

const Ipv4 own = *parseDottedText("10.77.0.1");
const Ipv4 mask24 = *parseDottedText("255.255.255.0");

RouteEntry route(const char* name, const char* destination, const char* mask) {
    return {name, *parseDottedText(destination), *parseDottedText(mask)};
}

// The laptop with a static address and no gateway: only the subnet's own route.
const std::vector<RouteEntry> subnetOnly = {route("veth0", "10.77.0.0", "255.255.255.0")};

Finding only(const std::vector<Finding>& findings) {
    EXPECT_EQ(findings.size(), 1u);
    return findings.empty() ? Finding{} : findings.front();
}

TEST(DoctorReversePath, LooseWithoutADefaultRouteStillDropsOffSubnetReplies) {
    const Finding found = only(reversePathFindings("veth0", {0, 2}, subnetOnly, own, mask24));
    EXPECT_TRUE(found.problem);
    EXPECT_EQ(found.what,
              "loose reverse-path filtering on veth0 (rp_filter 2) and no route back (no default "
              "route)");
    EXPECT_EQ(found.fix,
              "ip route add DEVICE_RANGE/PREFIX dev veth0, or sysctl -w net.ipv4.conf.veth0.rp_filter=0");
    // Without any route at all it is the same.
    EXPECT_TRUE(only(reversePathFindings("veth0", {2, 0}, std::vector<RouteEntry>{}, own, mask24))
                    .problem);
}

TEST(DoctorReversePath, TheLargerOfAllAndTheInterfaceDecides) {
    // all 1 over an interface at 0 is strict.
    const Finding strict = only(reversePathFindings("veth0", {1, 0}, subnetOnly, own, mask24));
    EXPECT_TRUE(strict.problem);
    EXPECT_EQ(strict.what.rfind("strict reverse-path filtering on veth0 (rp_filter 1)", 0), 0u);
    // With `all` above 0, setting the interface alone would change nothing.
    EXPECT_EQ(strict.fix,
              "ip route add DEVICE_RANGE/PREFIX dev veth0, or sysctl -w "
              "net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.veth0.rp_filter=0");
    const Finding loose = only(reversePathFindings("veth0", {2, 1}, subnetOnly, own, mask24));
    EXPECT_EQ(loose.what.rfind("loose reverse-path filtering on veth0 (rp_filter 2)", 0), 0u);
    // Only the interface's own value unset: nothing is filtered.
    const Finding off = only(reversePathFindings("veth0", {0, std::nullopt}, subnetOnly, own, mask24));
    EXPECT_FALSE(off.problem);
    EXPECT_EQ(off.what, "reverse-path filtering on veth0 is off");
}

TEST(DoctorReversePath, LooseFilteringTakesAnyRouteBackTheDefaultOneIncluded) {
    std::vector<RouteEntry> routes = subnetOnly;
    routes.push_back(route("wlan0", "0.0.0.0", "0.0.0.0"));
    const Finding found = only(reversePathFindings("veth0", {0, 2}, routes, own, mask24));
    EXPECT_FALSE(found.problem);
    EXPECT_EQ(found.standing, Standing::checked);
    EXPECT_EQ(found.what, "reverse-path filtering on veth0 is loose and a default route leads back");
}

TEST(DoctorReversePath, StrictFilteringWantsTheRouteBackThroughTheAdapter) {
    std::vector<RouteEntry> routes = subnetOnly;
    routes.push_back(route("wlan0", "0.0.0.0", "0.0.0.0"));
    const Finding elsewhere = only(reversePathFindings("veth0", {0, 1}, routes, own, mask24));
    EXPECT_TRUE(elsewhere.problem);
    EXPECT_EQ(elsewhere.what,
              "strict reverse-path filtering on veth0 (rp_filter 1) and no route back through veth0");

    routes.push_back(route("veth0", "172.16.0.0", "255.240.0.0"));
    const Finding ranged = only(reversePathFindings("veth0", {0, 1}, routes, own, mask24));
    EXPECT_FALSE(ranged.problem);
    EXPECT_EQ(ranged.what,
              "reverse-path filtering on veth0 is strict; outside the subnet, replies come back "
              "only from 172.16.0.0/12 (routed through veth0)");

    routes.push_back(route("veth0", "0.0.0.0", "0.0.0.0"));
    EXPECT_EQ(only(reversePathFindings("veth0", {0, 1}, routes, own, mask24)).what,
              "reverse-path filtering on veth0 is strict and the default route leads back "
              "through veth0");
}

TEST(DoctorReversePath, RoutesWithinTheSubnetLeadNowhereOutsideIt) {
    // A narrower route inside the subnet, and a route on another interface
    // for an address of the subnet: neither brings anything back from outside.
    std::vector<RouteEntry> routes = subnetOnly;
    routes.push_back(route("veth0", "10.77.0.128", "255.255.255.128"));
    routes.push_back(route("veth0", "10.77.0.9", "255.255.255.255"));
    EXPECT_TRUE(only(reversePathFindings("veth0", {0, 2}, routes, own, mask24)).problem);
    // A wider route that holds the subnet does reach past it.
    routes.push_back(route("veth0", "10.0.0.0", "255.0.0.0"));
    const Finding wider = only(reversePathFindings("veth0", {0, 2}, routes, own, mask24));
    EXPECT_FALSE(wider.problem);
    EXPECT_NE(wider.what.find("only from 10.0.0.0/8"), std::string::npos);
}

TEST(DoctorReversePath, UnreadRoutesAreSkippedNeverOk) {
    const Finding found = only(reversePathFindings("veth0", {0, 2}, std::nullopt, own, mask24));
    EXPECT_FALSE(found.problem);
    EXPECT_EQ(found.standing, Standing::skipped);
    EXPECT_EQ(findingTag(found), "[skipped] ");
    // Off needs no routes to be in order.
    EXPECT_EQ(findingTag(only(reversePathFindings("veth0", {0, 0}, std::nullopt, own, mask24))),
              "[ok] ");
}

}  // namespace
}  // namespace tamro::cli
