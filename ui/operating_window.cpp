#include "ui/operating_window.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

namespace zk {

CStart::CStart(std::chrono::milliseconds duration, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), duration_(duration) {
    setObjectName("operating");
    setModal(true);
    auto* label = new QLabel("Operating...", this);
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    // The frame a captionless dialog keeps.
    setStyleSheet("CStart { border: 2px outset palette(mid); }");
    setFixedSize(180, 48);
}

void CStart::run(const std::function<void()>& work) {
    time_up_ = false;
    work_done_ = !work;
    std::thread worker;
    if (work) {
        worker = std::thread([this, work] {
            work();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    work_done_ = true;
                    close_when_done();
                },
                Qt::QueuedConnection);
        });
    }
    QTimer::singleShot(duration_, this, [this] {
        time_up_ = true;
        close_when_done();
    });
    exec();
    if (worker.joinable()) worker.join();
}

void CStart::close_when_done() {
    if (time_up_ && work_done_) accept();
}

}  // namespace zk
