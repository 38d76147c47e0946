#include "ui/traffic_chart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <QTimer>
#include <QWindow>

namespace zk {
namespace {

const QColor kBackground(0, 0, 75);  // also the label's shadow
const QColor kLabel(0, 255, 255);    // the label and each bar's top dot
const QColor kGrid(32, 64, 32);
constexpr int kRepaintMs = 50;

// Every row of a bar takes its own colour: green at the top edge, red at the bottom.
QPixmap bar_gradient(int height) {
    QImage image(TrafficChart::kBarWidth, height, QImage::Format_RGB32);
    const double step = 255.0 / height;
    for (int y = 0; y < height; ++y) {
        const double d = y * step;
        const QRgb colour = qRgb(static_cast<int>(d), static_cast<int>(255 - d), 64);
        for (int x = 0; x < TrafficChart::kBarWidth; ++x)
            image.setPixel(x, y, colour);
    }
    return QPixmap::fromImage(image);
}

// One clock repaints every shown chart, so a window's charts are painted and sent to the
// screen together, once per tick. It runs while any chart is shown.
class RepaintClock {
public:
    QMetaObject::Connection join(TrafficChart* chart) {
        if (members_++ == 0) timer_.start(kRepaintMs);
        return QObject::connect(&timer_, &QTimer::timeout, chart, qOverload<>(&QWidget::update));
    }
    void leave(const QMetaObject::Connection& connection) {
        QObject::disconnect(connection);
        if (--members_ == 0) timer_.stop();
    }

private:
    QTimer timer_;
    int members_ = 0;
};

RepaintClock& repaint_clock() {
    static RepaintClock clock;
    return clock;
}

// The background with vertical lines at x = 0, 10, 20, ... across `width` + one cell, and the
// horizontal lines at y = height - 2, height - 12, ...
QPixmap grid_picture(int width, int height) {
    QPixmap picture(std::max(width, 0) + TrafficChart::kGridCell, std::max(height, 1));
    picture.fill(kBackground);
    QPainter painter(&picture);
    painter.setPen(QPen(kGrid, 1));
    for (int x = 0; x < picture.width(); x += TrafficChart::kGridCell)
        painter.drawLine(x, 0, x, height);
    for (int i = 0; i <= height / TrafficChart::kGridCell; ++i) {
        const int y = height - i * TrafficChart::kGridCell - 2;
        painter.drawLine(0, y, picture.width(), y);
    }
    return picture;
}

}  // namespace

TrafficChart::TrafficChart(ChartKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TrafficChart::~TrafficChart() {
    if (ticks_) repaint_clock().leave(ticks_);
}

void TrafficChart::add_sample(const TrafficRates& rates) {
    history_.add_sample(rates, kind_);
    // Laid out once per sample, not on each of the twenty paints a second.
    label_text_[0].setText(QString::fromStdString(history_.label_line1()));
    label_text_[1].setText(QString::fromStdString(history_.label_line2()));
    for (auto& text : label_text_)
        text.prepare({}, label_font());
    update();
}

void TrafficChart::resizeEvent(QResizeEvent*) {
    // A new width is a new history, as when the chart is first laid out.
    if (history_.drawn_count() != width() / kBarWidth)
        history_ = TrafficHistory(width(), kBarWidth);
    if (height() > 0 && gradient_.height() != height()) gradient_ = bar_gradient(height());
    grid_ = grid_picture(width(), height());
}

void TrafficChart::showEvent(QShowEvent*) {
    if (!ticks_) ticks_ = repaint_clock().join(this);
}

void TrafficChart::hideEvent(QHideEvent*) {
    if (ticks_) repaint_clock().leave(ticks_);
    ticks_ = {};
}

void TrafficChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (QWindow* handle = window()->windowHandle()) handle->startSystemMove();
    event->accept();
}

void TrafficChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint_grid(painter);
    paint_bars(painter);
    paint_label(painter);
}

void TrafficChart::paint_grid(QPainter& painter) {
    // The background and the grid at phase 0, one cell wider than the chart, shifted left to
    // the current phase: one copy per paint instead of sixty lines.
    painter.drawPixmap(grid_offset_x_ - kGridCell, 0, grid_);
    // Creep one pixel left per repaint, wrapping within a cell.
    if (--grid_offset_x_ < 0) grid_offset_x_ = kGridCell;
}

void TrafficChart::paint_bars(QPainter& painter) {
    const double max = history_.max_value();
    if (max <= 0 || gradient_.isNull()) return;
    const int h = height();
    const double scale = h / max;
    painter.setBrushOrigin(0, 0);
    const QBrush bars(gradient_);
    for (int i = 0; i < history_.drawn_count(); ++i) {
        const double value = history_.value(i);
        if (value <= 0) continue;
        const int left = i * kBarWidth;
        const int top = h - static_cast<int>(scale * value);
        painter.fillRect(QRect(left, top, kBarWidth, h - top), bars);
        painter.setPen(kLabel);
        painter.drawPoint(left, top);
    }
}

QFont TrafficChart::label_font() {
    // Resolved once: matching a family against the installed fonts is not free.
    static const QFont font = [] {
        QFont f("Arial");
        f.setPixelSize(10);
        return f;
    }();
    return font;
}

void TrafficChart::paint_label(QPainter& painter) {
    if (history_.label_line1().empty()) return;
    painter.setFont(label_font());
    static const QFontMetrics metrics(label_font());
    static const int line = metrics.height() + metrics.leading();
    // A one-pixel shadow first, so the text reads over grid lines and bars.
    for (const auto& [dx, colour] : {std::pair{6, kBackground}, std::pair{5, kLabel}}) {
        painter.setPen(colour);
        painter.drawStaticText(dx, 5, label_text_[0]);
        if (kind_ == ChartKind::compact) painter.drawStaticText(dx, 5 + line, label_text_[1]);
    }
}

}  // namespace zk
