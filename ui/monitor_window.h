#pragma once
// "Zelkora Monitor": the total, incoming and outgoing speed charts and a table of every live
// relayed session, refreshed once a second. The table is filled from a snapshot the engine takes
// under its own locks; this window never reads engine memory itself.
//
// UI thread only. Opened modally; each opening starts fresh charts.

#include <QDialog>
#include <QTimer>

#include "app/app_model.h"

class QTableWidget;

namespace zk {

class TrafficChart;
class TrafficSampler;

class CMonitor final : public QDialog {
    Q_OBJECT
public:
    CMonitor(AppModel& model, TrafficSampler& sampler, std::chrono::milliseconds refresh_period,
             QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    TrafficChart* total_chart() const { return total_; }

private:
    void refresh_table();

    AppModel& model_;
    TrafficChart* total_;
    TrafficChart* incoming_;
    TrafficChart* outgoing_;
    QTableWidget* table_;
    QTimer refresh_timer_;
};

}  // namespace zk
