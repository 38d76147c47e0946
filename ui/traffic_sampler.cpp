#include "ui/traffic_sampler.h"

namespace zk {

TrafficSampler::TrafficSampler(std::chrono::milliseconds period, QObject* parent)
    : QObject(parent) {
    timer_.setInterval(period);
    connect(&timer_, &QTimer::timeout, this, &TrafficSampler::sample);
}

void TrafficSampler::start() {
    last_ = traffic_snapshot();
    timer_.start();
}

void TrafficSampler::sample() {
    const TrafficTotals now = traffic_snapshot();
    const TrafficRates rates{.total = now.total - last_.total,
                             .incoming = now.incoming - last_.incoming,
                             .outgoing = now.outgoing - last_.outgoing};
    last_ = now;
    emit sampled(rates);
}

}  // namespace zk
