#include "app/traffic_history.h"

#include <algorithm>
#include <cstdio>

namespace zk {
namespace {

std::string format(const char* pattern, double a, double b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

TrafficHistory::TrafficHistory(int width, int bar_width)
    : slots_(static_cast<std::size_t>(std::max(width, 0) / std::max(bar_width, 1)) + 1, 0.0) {}

double rate_of(const TrafficRates& rates, ChartKind kind) {
    switch (kind) {
        case ChartKind::total:
        case ChartKind::compact: return rates.total;
        case ChartKind::incoming: return rates.incoming;
        case ChartKind::outgoing: return rates.outgoing;
    }
    return 0;
}

void TrafficHistory::add_sample(const TrafficRates& rates, ChartKind kind) {
    const double v = rate_of(rates, kind);
    std::rotate(slots_.begin(), slots_.begin() + 1, slots_.end());
    slots_.back() = v;
    max_value_ = *std::max_element(slots_.begin(), slots_.end());
    const double current = v / 1024;
    const double maximum = max_value_ / 1024;
    if (kind == ChartKind::compact) {
        label_line1_ = format("CUR: %.1f K/S", current);
        label_line2_ = format("MAX: %.1f K/S", maximum);
    } else {
        label_line1_ = format("CUR: %.1f KB/SEC   CMAX: %.1f KB/SEC", current, maximum);
    }
}

}  // namespace zk
