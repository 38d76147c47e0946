#pragma once
// Follows a log file in a window: its last 100 lines, then whatever is written to it, also after
// the file is rotated or truncated. Stands in for a terminal running tail -f.
//
// UI thread only; the file is read from a timer, in bounded steps.

#include <QTimer>
#include <QWidget>
#include <string>

#include "platform/file_follower.h"

class QPlainTextEdit;

namespace zk {

class LogFollowerWindow final : public QWidget {
    Q_OBJECT
public:
    LogFollowerWindow(const std::string& path, std::chrono::milliseconds poll_interval,
                      QWidget* parent = nullptr);

    QString text() const;

private:
    void read_more();

    FileFollower follower_;
    QPlainTextEdit* view_;
    QTimer timer_;
};

}  // namespace zk
