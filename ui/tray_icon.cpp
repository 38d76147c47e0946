#include "ui/tray_icon.h"

#include <QMenu>
#include <cmath>

#include "engine/traffic.h"

namespace zk {

TrayIcon::TrayIcon(const DesktopTimings& timings, QObject* parent)
    : QObject(parent),
      timings_(timings),
      menu_(new QMenu),
      frames_{QIcon(":/icons/tray-0.png"), QIcon(":/icons/tray-1.png"), QIcon(":/icons/tray-2.png"),
              QIcon(":/icons/tray-3.png")},
      still_(":/icons/zelkora.png") {
    icon_.setToolTip("Zelkora");
    icon_.setIcon(still_);
    menu_->setObjectName("tray_menu");
    auto* exit = menu_->addAction("&Exit");
    auto* open = menu_->addAction("&Open Zelkora");
    menu_->setDefaultAction(open);
    connect(exit, &QAction::triggered, this, &TrayIcon::exit_requested);
    connect(open, &QAction::triggered, this, &TrayIcon::open_requested);
    icon_.setContextMenu(menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](auto reason) {
        if (reason == QSystemTrayIcon::DoubleClick) emit open_requested();
    });

    retry_timer_.setInterval(timings_.tray_retry);
    connect(&retry_timer_, &QTimer::timeout, this, &TrayIcon::try_add);
    check_timer_.setInterval(timings_.tray_check);
    connect(&check_timer_, &QTimer::timeout, this, &TrayIcon::check_traffic);
    frame_timer_.setInterval(timings_.tray_frame);
    connect(&frame_timer_, &QTimer::timeout, this, &TrayIcon::next_frame);
}

TrayIcon::~TrayIcon() {
    delete menu_;
}

void TrayIcon::create() {
    try_add();
    if (!created_) retry_timer_.start();
    check_timer_.start();
}

void TrayIcon::try_add() {
    if (created_ || removed_ || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    icon_.show();
    created_ = true;
    retry_timer_.stop();
}

void TrayIcon::show_balloon(const QString& title, const QString& text) {
    if (!created_) return;
    icon_.showMessage(title, text, QSystemTrayIcon::Information,
                      static_cast<int>(timings_.balloon.count()));
}

void TrayIcon::remove() {
    removed_ = true;
    created_ = false;
    retry_timer_.stop();
    check_timer_.stop();
    frame_timer_.stop();
    icon_.hide();
}

void TrayIcon::check_traffic() {
    const double activity = std::floor(traffic_snapshot().activity);
    const bool moved = activity != last_activity_;
    last_activity_ = activity;
    if (moved && !frame_timer_.isActive()) {
        frame_timer_.start();
    } else if (!moved && frame_timer_.isActive()) {
        frame_timer_.stop();
        icon_.setIcon(still_);
    }
}

void TrayIcon::next_frame() {
    icon_.setIcon(frames_[frame_]);
    frame_ = (frame_ + 1) % static_cast<int>(frames_.size());
}

}  // namespace zk
