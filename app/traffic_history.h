#pragma once
// The history behind one traffic chart: one sample per second, the largest of them as the
// vertical scale, and the label texts. Plain data, so the chart widget only reads it to paint.
//
// Not thread-safe: the owner (a chart on the UI thread) feeds and reads it on one thread.

#include <string>
#include <vector>

namespace zk {

// Bytes moved in the last sampled second.
struct TrafficRates {
    double total = 0;
    double incoming = 0;
    double outgoing = 0;
};

// Which rate a chart shows and how its label reads: kinds 0 to 2 take total, incoming and
// outgoing with a one-line label; kind 3 takes total with the compact two-line label.
enum class ChartKind { total = 0, incoming = 1, outgoing = 2, compact = 3 };

class TrafficHistory {
public:
    // Bars `bar_width` pixels wide across `width` pixels: N = width / bar_width bars are drawn,
    // and one slot more holds the newest sample until the next pushes it in.
    explicit TrafficHistory(int width, int bar_width = 2);

    // Shifts the history one slot and stores the rate of this kind; the maximum and labels follow.
    void add_sample(const TrafficRates& rates, ChartKind kind);

    int drawn_count() const { return static_cast<int>(slots_.size()) - 1; }  // N
    // Bytes per second of drawn slot i (0 = oldest), i < drawn_count().
    double value(int i) const { return slots_[static_cast<std::size_t>(i)]; }
    double max_value() const { return max_value_; }  // over all N + 1 slots
    const std::string& label_line1() const { return label_line1_; }
    const std::string& label_line2() const { return label_line2_; }  // kind 3 only

private:
    std::vector<double> slots_;
    double max_value_ = 0;
    std::string label_line1_;
    std::string label_line2_;
};

// The rate of `kind` from `rates`.
double rate_of(const TrafficRates& rates, ChartKind kind);

}  // namespace zk
