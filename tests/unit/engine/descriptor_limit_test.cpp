// Raising the soft limit of open files to the hard limit.

#include "platform/descriptor_limit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace zk {
namespace {

TEST(DescriptorLimit, SoftLimitIsRaisedToTheHardLimit) {
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    ASSERT_NE(original.rlim_max, RLIM_INFINITY) << "needs a finite hard limit";
    ASSERT_GT(original.rlim_max, 64u);
    rlimit lowered = original;
    lowered.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    const auto limit = raise_descriptor_limit();
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    ::setrlimit(RLIMIT_NOFILE, &original);
    ASSERT_TRUE(limit.has_value());
    EXPECT_EQ(limit->hard, original.rlim_max);
    EXPECT_EQ(limit->soft, original.rlim_max) << "raised all the way";
    EXPECT_EQ(now.rlim_cur, original.rlim_max) << "and in force";
    EXPECT_EQ(raise_descriptor_limit()->soft, original.rlim_max) << "a second call keeps it";
}

}  // namespace
}  // namespace zk
