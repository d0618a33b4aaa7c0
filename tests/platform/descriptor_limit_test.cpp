#include "platform/descriptor_limit.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace tamro {
namespace {

// Puts the process's descriptor limits back however a test ends.
class LimitGuard {
public:
    LimitGuard() { ::getrlimit(RLIMIT_NOFILE, &saved_); }
    ~LimitGuard() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    LimitGuard(const LimitGuard&) = delete;
    LimitGuard& operator=(const LimitGuard&) = delete;
    const rlimit& saved() const { return saved_; }

private:
    rlimit saved_{};
};

rlimit currentLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit;
}

TEST(DescriptorLimit, TheSoftLimitRisesToTheHardOne) {
    LimitGuard guard;
    rlimit lowered = guard.saved();
    lowered.rlim_cur = std::min<rlim_t>(64, guard.saved().rlim_max / 2);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    raiseDescriptorLimit();
    const rlimit raised = currentLimit();
    EXPECT_EQ(raised.rlim_max, guard.saved().rlim_max);  // the hard limit stays
    if (guard.saved().rlim_max == RLIM_INFINITY) {
        EXPECT_GT(raised.rlim_cur, lowered.rlim_cur);
    } else {
        EXPECT_EQ(raised.rlim_cur, guard.saved().rlim_max);
    }
    raiseDescriptorLimit();  // again: nothing left to do
    EXPECT_EQ(currentLimit().rlim_cur, raised.rlim_cur);
}

TEST(DescriptorLimit, ASocketRefusedForLackOfDescriptorsSaysSo) {
    LimitGuard guard;
    std::vector<std::unique_ptr<UdpSocket>> sockets;
    SocketError refused = 0;
    {
        // A few descriptors above what is open now; the sockets use them up.
        rlimit tight = guard.saved();
        tight.rlim_cur = std::min<rlim_t>(32, guard.saved().rlim_max);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        for (int i = 0; i < 64 && refused == 0; ++i) {
            auto socket = std::make_unique<UdpSocket>();
            refused = socket->open();
            if (refused == 0) sockets.push_back(std::move(socket));
        }
    }
    sockets.clear();
    ASSERT_NE(refused, 0) << "32 descriptors were never used up";
    EXPECT_TRUE(isOutOfDescriptors(refused));
    EXPECT_FALSE(isOutOfDescriptors(timedOutError()));
    EXPECT_FALSE(isOutOfDescriptors(0));
}

}  // namespace
}  // namespace tamro
