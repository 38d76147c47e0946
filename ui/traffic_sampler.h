#pragma once
// Once a second, the bytes the engine moved during that second, for the traffic charts. One
// sampler serves every chart, so there is never more than one, and it runs on the UI thread: a
// sample reaches the charts as a value, between two paints.

#include <QObject>
#include <QTimer>

#include "app/traffic_history.h"
#include "engine/traffic.h"

namespace zk {

class TrafficSampler final : public QObject {
    Q_OBJECT
public:
    explicit TrafficSampler(std::chrono::milliseconds period, QObject* parent = nullptr);

    void start();

signals:
    void sampled(const zk::TrafficRates& rates);

private:
    void sample();

    QTimer timer_;
    TrafficTotals last_;
};

}  // namespace zk
