#pragma once
// A scrolling bar chart of one traffic speed: one bar per second over a dark, creeping grid, with
// the speed label in its upper left corner. Pressing on it and dragging moves its window.
//
// UI thread only: samples arrive as values from a TrafficSampler on the same thread, so painting
// never sees a half-shifted history.

#include <QPixmap>
#include <QStaticText>
#include <QWidget>

#include "app/traffic_history.h"

namespace zk {

class TrafficChart final : public QWidget {
    Q_OBJECT
public:
    explicit TrafficChart(ChartKind kind, QWidget* parent = nullptr);
    ~TrafficChart() override;

    void add_sample(const TrafficRates& rates);
    const TrafficHistory& history() const { return history_; }

    // The label's font: small, so the label leaves the bars in view.
    static QFont label_font();

    static constexpr int kBarWidth = 2;
    static constexpr int kGridCell = 10;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void paint_grid(QPainter& painter);
    void paint_bars(QPainter& painter);
    void paint_label(QPainter& painter);

    const ChartKind kind_;
    TrafficHistory history_{0};
    QPixmap gradient_;  // one bar's colours, row by row; built for the current height
    int grid_offset_x_ = 0;
    QPixmap grid_;               // background and grid at phase 0, one cell wider than the chart
    QStaticText label_text_[2];  // the label lines, laid out once per sample
    QMetaObject::Connection ticks_;  // to the shared repaint clock, while shown
};

}  // namespace zk
