#pragma once
// Runs the certificate commands one at a time, off the UI thread, and shows what each printed in
// a window of its own that stays until the user closes it (a terminal's final pause, without a
// terminal). The window starts as a child of the modal dialog that ran the command, the only
// place a modal dialog lets the user scroll and close it, and moves to the main window when that
// dialog ends. Two signings on one CA database at once would corrupt it, so while a command runs
// the windows that start them keep their buttons disabled (busy_changed).
//
// UI thread only. The command runs on a worker thread that touches no widget; its outcome comes
// back to the UI thread as a queued call.

#include <QObject>
#include <QPointer>
#include <functional>
#include <thread>

#include "platform/certificate_commands.h"

class QWidget;

namespace zk {

class CertificateOutputWindow;

class CertificateRunner final : public QObject {
    Q_OBJECT
public:
    // `window` (the main window) keeps the output windows once their dialog has ended.
    explicit CertificateRunner(QWidget* window);
    // Waits for a command still running: openssl ends on its own within seconds.
    ~CertificateRunner() override;

    bool busy() const { return busy_; }

    // Runs `command` on the worker thread and opens its output window over `dialog` at once;
    // refused (false) while another command runs. `done` is called on the UI thread with the
    // outcome, unless `dialog` is gone by then.
    bool run(const QString& title, std::function<CertificateOutcome()> command, QWidget* dialog,
             std::function<void(const CertificateOutcome&)> done);

    // Moves the output windows of `dialog` to the main window, so they stay after it closes.
    void keep_outputs(QWidget* dialog);

signals:
    void busy_changed(bool busy);

private:
    void finish(const CertificateOutcome& outcome, QPointer<CertificateOutputWindow> window,
                QPointer<QWidget> dialog,
                const std::function<void(const CertificateOutcome&)>& done);

    QWidget* window_;
    bool busy_ = false;
    std::thread worker_;
};

}  // namespace zk
