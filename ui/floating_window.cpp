#include "ui/floating_window.h"

#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/traffic_chart.h"
#include "ui/traffic_sampler.h"

namespace zk {
namespace {

// 61 x 23 dialog units in this desktop's font, or more where the two label lines would not fit.
QSize window_size(const QFontMetrics& metrics) {
    const QFontMetrics label(TrafficChart::label_font());
    const int label_width = label.horizontalAdvance("MAX: 99999.9 K/S") + 12;
    const int label_height = 2 * (label.height() + label.leading()) + 12;
    return {std::max(61 * metrics.averageCharWidth() / 4, label_width),
            std::max(23 * metrics.height() / 8, label_height)};
}

}  // namespace

CTheTop::CTheTop(TrafficSampler& sampler)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      chart_(new TrafficChart(ChartKind::compact, this)) {
    setObjectName("floating_window");
    setWindowTitle("Zelkora Traffic");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_);
    setFixedSize(window_size(fontMetrics()));
    connect(&sampler, &TrafficSampler::sampled, chart_, &TrafficChart::add_sample);
}

void CTheTop::show_at_top_right() {
    if (closed_for_good_) return;
    const QScreen* screen = this->screen();
    const int right = screen ? screen->availableGeometry().right() + 1 : 800;
    move(right - 200, 10);
    show();
}

void CTheTop::hide_window() {
    if (!closed_for_good_) hide();
}

void CTheTop::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            closed_for_good_ = true;
            hide();
            return;
        default: QWidget::keyPressEvent(event);
    }
}

}  // namespace zk
