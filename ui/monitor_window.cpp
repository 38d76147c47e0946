#include "ui/monitor_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/traffic_chart.h"
#include "ui/traffic_sampler.h"

namespace zk {
namespace {

struct Column {
    const char* caption;
    int width;
};
constexpr Column kColumns[] = {{"Port Mapping Name", 150},
                               {"Source IP", 100},
                               {"Source Port", 100},
                               {"Incoming(kb)", 80},
                               {"Outgoing(kb)", 80}};

QTableWidgetItem* text_item(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// A number shown as text that sorts as a number.
class NumberItem final : public QTableWidgetItem {
public:
    NumberItem(double value, const QString& text) : QTableWidgetItem(text), value_(value) {
        setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        const auto* number = dynamic_cast<const NumberItem*>(&other);
        return number ? value_ < number->value_ : QTableWidgetItem::operator<(other);
    }

private:
    double value_;
};

QTableWidgetItem* number_item(double value, const QString& text) {
    return new NumberItem(value, text);
}

QString kilobytes(std::uint64_t bytes) {
    return QString::asprintf("%f", static_cast<double>(bytes) / 1024);
}

}  // namespace

CMonitor::CMonitor(AppModel& model, TrafficSampler& sampler,
                   std::chrono::milliseconds refresh_period, QWidget* parent)
    : QDialog(parent),
      model_(model),
      total_(new TrafficChart(ChartKind::total)),
      incoming_(new TrafficChart(ChartKind::incoming)),
      outgoing_(new TrafficChart(ChartKind::outgoing)),
      table_(new QTableWidget(0, static_cast<int>(std::size(kColumns)))) {
    setWindowTitle("Zelkora Monitor");
    total_->setObjectName("total_chart");
    incoming_->setObjectName("incoming_chart");
    outgoing_->setObjectName("outgoing_chart");
    for (auto* chart : {total_, incoming_, outgoing_})
        chart->setMinimumHeight(70);

    auto* speed = new QGroupBox("Traffic Speed");
    auto* charts = new QGridLayout(speed);
    charts->addWidget(new QLabel("Total Traffic"), 0, 0, 1, 2);
    charts->addWidget(total_, 1, 0, 1, 2);
    charts->addWidget(new QLabel("Incoming Traffic"), 2, 0);
    charts->addWidget(new QLabel("Outgoing Traffic"), 2, 1);
    charts->addWidget(incoming_, 3, 0);
    charts->addWidget(outgoing_, 3, 1);

    table_->setObjectName("session_table");
    QStringList captions;
    for (const Column& c : kColumns)
        captions << c.caption;
    table_->setHorizontalHeaderLabels(captions);
    int table_width = 2 * table_->frameWidth();
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        const int title = table_->horizontalHeader()->fontMetrics().horizontalAdvance(captions[c]);
        const int width = std::max(kColumns[c].width, title + 24);
        table_->setColumnWidth(c, width);
        table_width += width;
    }
    table_->setMinimumWidth(table_width + table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(true);
    table_->setSortingEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(speed);
    layout->addWidget(table_, 1);
    layout->addWidget(dialog_buttons(this));
    resize(minimumSizeHint().width(), 560);

    connect(&sampler, &TrafficSampler::sampled, this, [this](const TrafficRates& rates) {
        for (auto* chart : {total_, incoming_, outgoing_})
            chart->add_sample(rates);
    });
    refresh_table();
    connect(&refresh_timer_, &QTimer::timeout, this, &CMonitor::refresh_table);
    refresh_timer_.start(refresh_period);
}

void CMonitor::refresh_table() {
    const std::vector<SessionView> sessions = model_.sessions();
    // Rebuilt whole once a second; sorting waits until the rows are in.
    const bool sorting = table_->isSortingEnabled();
    table_->setSortingEnabled(false);
    table_->setRowCount(static_cast<int>(sessions.size()));
    for (int row = 0; row < static_cast<int>(sessions.size()); ++row) {
        const SessionView& s = sessions[static_cast<std::size_t>(row)];
        table_->setItem(row, 0, text_item(QString::fromStdString(s.mapping_name)));
        table_->setItem(row, 1, text_item(QString::fromStdString(s.client_address)));
        table_->setItem(row, 2, number_item(s.client_port, QString::number(s.client_port)));
        table_->setItem(
            row, 3,
            number_item(static_cast<double>(s.incoming_bytes), kilobytes(s.incoming_bytes)));
        table_->setItem(
            row, 4,
            number_item(static_cast<double>(s.outgoing_bytes), kilobytes(s.outgoing_bytes)));
    }
    table_->setSortingEnabled(sorting);
}

}  // namespace zk
