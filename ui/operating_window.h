#pragma once
// "Operating...": a small captionless pop-up that gives the listeners time to come up or to
// stop. It stays up for its whole duration and, when given work, until that work has ended; the
// user cannot close it earlier. The work runs on a thread of its own so the window keeps
// painting while a stop waits out the engine's hold.

#include <QDialog>
#include <chrono>
#include <functional>

namespace zk {

class CStart final : public QDialog {
    Q_OBJECT
public:
    explicit CStart(std::chrono::milliseconds duration, QWidget* parent = nullptr);

    // Shows the window modally until `duration` has passed and `work` (run on another thread;
    // may be empty) has returned. UI thread.
    void run(const std::function<void()>& work);

protected:
    void reject() override {}  // Esc does not close it

private:
    void close_when_done();

    std::chrono::milliseconds duration_;
    bool time_up_ = false;
    bool work_done_ = false;
};

}  // namespace zk
