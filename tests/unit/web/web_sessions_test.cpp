// The session table: unguessable ids, the 120-second lifetime, logout of equal ids.

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "web/web_sessions.h"

namespace zk {
namespace {

TEST(RandomSessionId, PositiveAndVaried) {
    std::set<std::int32_t> seen;
    for (int i = 0; i < 64; ++i) {
        const auto id = random_session_id();
        ASSERT_TRUE(id.has_value());
        EXPECT_GT(*id, 0);
        seen.insert(*id);
    }
    // 64 draws of 31 bits: a repeat is a broken generator, not chance.
    EXPECT_EQ(seen.size(), 64u);
}

class Sessions : public ::testing::Test {
protected:
    std::atomic<std::int64_t> now{1'700'000'000};
    std::atomic<std::int32_t> next_id{7};
    SessionTable table{[this] { return now.load(); },
                       [this]() -> std::optional<std::int32_t> { return next_id.load(); }};
};

TEST_F(Sessions, LiveForOneHundredTwentySecondsFromLogin) {
    const auto s = table.open("admin");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->user_name, "admin");
    now += 119;
    EXPECT_TRUE(table.find(7).has_value());
    now += 1;
    EXPECT_FALSE(table.find(7).has_value());  // expired even before a sweep
    EXPECT_EQ(table.size(), 1u);
    table.sweep();
    EXPECT_EQ(table.size(), 0u);
}

TEST_F(Sessions, SweepKeepsLiveSessionsInOrder) {
    table.open("a");
    now += 60;
    next_id = 8;
    table.open("b");
    now += 60;  // "a" is 120 s old, "b" 60 s
    table.sweep();
    EXPECT_FALSE(table.find(7).has_value());
    ASSERT_TRUE(table.find(8).has_value());
    EXPECT_EQ(table.find(8)->user_name, "b");
}

TEST_F(Sessions, LogoutRemovesEveryEqualId) {
    table.open("a");
    table.open("a");
    next_id = 9;
    table.open("a");
    EXPECT_EQ(table.remove(7), 2);
    EXPECT_FALSE(table.find(7).has_value());
    EXPECT_TRUE(table.find(9).has_value());
}

TEST_F(Sessions, NoIdNoSession) {
    SessionTable failing([this] { return now.load(); },
                         []() -> std::optional<std::int32_t> { return std::nullopt; });
    EXPECT_FALSE(failing.open("a").has_value());
    EXPECT_EQ(failing.size(), 0u);
}

TEST_F(Sessions, TableIsBounded) {
    for (std::size_t i = 0; i < kSessionLimit + 5; ++i) {
        next_id = static_cast<std::int32_t>(i + 1);
        ASSERT_TRUE(table.open("u").has_value());
    }
    EXPECT_EQ(table.size(), kSessionLimit);
    EXPECT_FALSE(table.find(1).has_value());  // the oldest made room
    EXPECT_TRUE(table.find(static_cast<std::int32_t>(kSessionLimit + 5)).has_value());
}

}  // namespace
}  // namespace zk
