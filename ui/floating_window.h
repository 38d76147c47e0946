#pragma once
// The floating speed window: a small frameless chart of the total speed that stays on top of
// every window and out of the taskbar. It takes its samples whether shown or hidden; Enter or
// Esc on it closes it for the rest of the run.
//
// UI thread only.

#include <QWidget>

namespace zk {

class TrafficChart;
class TrafficSampler;

class CTheTop final : public QWidget {
    Q_OBJECT
public:
    explicit CTheTop(TrafficSampler& sampler);

    // Shows it 200 pixels left of the screen's right edge and 10 below its top, size unchanged.
    void show_at_top_right();
    void hide_window();
    bool closed_for_good() const { return closed_for_good_; }
    TrafficChart* chart() const { return chart_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TrafficChart* chart_;
    bool closed_for_good_ = false;
};

}  // namespace zk
