#include "app/traffic_history.h"

#include <gtest/gtest.h>

namespace zk {
namespace {

TrafficRates total(double bytes) {
    return {.total = bytes, .incoming = 0, .outgoing = 0};
}

TEST(TrafficHistory, SilenceShowsZeroAndNoBar) {
    TrafficHistory history(100);
    EXPECT_EQ(history.label_line1(), "");  // before the first sample
    history.add_sample({}, ChartKind::total);
    EXPECT_EQ(history.label_line1(), "CUR: 0.0 KB/SEC   CMAX: 0.0 KB/SEC");
    EXPECT_EQ(history.max_value(), 0);
    for (int i = 0; i < history.drawn_count(); ++i)
        EXPECT_EQ(history.value(i), 0) << i;
}

TEST(TrafficHistory, NewestSecondIsLabelledAtOnceAndDrawnOneSecondLater) {
    TrafficHistory history(100);
    history.add_sample(total(1536), ChartKind::total);
    EXPECT_EQ(history.label_line1(), "CUR: 1.5 KB/SEC   CMAX: 1.5 KB/SEC");
    EXPECT_EQ(history.value(history.drawn_count() - 1), 0);
    history.add_sample(total(0), ChartKind::total);
    EXPECT_EQ(history.value(history.drawn_count() - 1), 1536);
    EXPECT_EQ(history.max_value(), 1536);  // the full-height bar
    EXPECT_EQ(history.label_line1(), "CUR: 0.0 KB/SEC   CMAX: 1.5 KB/SEC");
}

TEST(TrafficHistory, MaximumDropsWhenItScrollsOut) {
    TrafficHistory history(10);  // 5 drawn slots, 6 in all
    history.add_sample(total(10240), ChartKind::total);
    history.add_sample(total(2048), ChartKind::total);
    for (int i = 0; i < 4; ++i)
        history.add_sample(total(0), ChartKind::total);
    EXPECT_EQ(history.max_value(), 10240);  // still the oldest slot
    history.add_sample(total(0), ChartKind::total);
    EXPECT_EQ(history.max_value(), 2048);
    EXPECT_EQ(history.label_line1(), "CUR: 0.0 KB/SEC   CMAX: 2.0 KB/SEC");
}

TEST(TrafficHistory, SlotsFollowTheWidth) {
    struct Case {
        int width;
        int drawn;
    };
    for (const Case c : {Case{101, 50}, Case{100, 50}, Case{1, 0}, Case{0, 0}})
        EXPECT_EQ(TrafficHistory(c.width).drawn_count(), c.drawn) << "width " << c.width;
}

TEST(TrafficHistory, KindPicksTheRateAndTheLabel) {
    const TrafficRates rates{.total = 3072, .incoming = 1024, .outgoing = 2048};
    struct Case {
        ChartKind kind;
        const char* line1;
        const char* line2;
    };
    for (const Case c : {Case{ChartKind::total, "CUR: 3.0 KB/SEC   CMAX: 3.0 KB/SEC", ""},
                         Case{ChartKind::incoming, "CUR: 1.0 KB/SEC   CMAX: 1.0 KB/SEC", ""},
                         Case{ChartKind::outgoing, "CUR: 2.0 KB/SEC   CMAX: 2.0 KB/SEC", ""},
                         Case{ChartKind::compact, "CUR: 3.0 K/S", "MAX: 3.0 K/S"}}) {
        TrafficHistory history(20);
        history.add_sample(rates, c.kind);
        EXPECT_EQ(history.label_line1(), c.line1);
        EXPECT_EQ(history.label_line2(), c.line2);
    }
}

}  // namespace
}  // namespace zk
