#pragma once
// The notification-area icon: tip "Zelkora", the menu "&Exit" / "&Open Zelkora", and an
// animation that runs while traffic flows. A desktop whose tray is not up yet (early in a
// session) gets the icon on a later retry.
//
// UI thread only. The traffic totals are read from timers on the UI thread; the engine is never
// waited for.

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>

#include "ui/desktop_timings.h"

class QMenu;

namespace zk {

class TrayIcon final : public QObject {
    Q_OBJECT
public:
    TrayIcon(const DesktopTimings& timings, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon now when the desktop has a tray, else on a later retry.
    void create();
    bool created() const { return created_; }
    // The "still running" balloon; nothing when there is no icon.
    void show_balloon(const QString& title, const QString& text);
    // Takes the icon out of the tray for good (the exit path).
    void remove();
    // True while the last look found traffic; the frames show once the icon is in the tray.
    bool animating() const { return frame_timer_.isActive(); }
    QMenu* menu() const { return menu_; }

signals:
    void open_requested();  // "&Open Zelkora" or a double click
    void exit_requested();  // "&Exit"

private:
    void try_add();
    void check_traffic();
    void next_frame();

    const DesktopTimings timings_;
    QSystemTrayIcon icon_;
    QMenu* menu_;
    std::array<QIcon, 4> frames_;
    QIcon still_;
    QTimer retry_timer_;
    QTimer check_timer_;
    QTimer frame_timer_;
    bool created_ = false;
    bool removed_ = false;
    double last_activity_ = 0;
    int frame_ = 0;
};

}  // namespace zk
