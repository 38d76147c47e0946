#include "ui/certificate_runner.h"

#include <QWidget>

#include "ui/certificate_output_window.h"

namespace zk {

CertificateRunner::CertificateRunner(QWidget* window) : QObject(window), window_(window) {}

CertificateRunner::~CertificateRunner() {
    if (worker_.joinable()) worker_.join();
}

bool CertificateRunner::run(const QString& title, std::function<CertificateOutcome()> command,
                            QWidget* dialog, std::function<void(const CertificateOutcome&)> done) {
    if (busy_) return false;
    // The previous worker has already posted its outcome; joining it does not wait.
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    emit busy_changed(true);
    QPointer<CertificateOutputWindow> output(new CertificateOutputWindow(title, dialog));
    output->show();
    QPointer<QWidget> watched(dialog);
    worker_ =
        std::thread([this, command = std::move(command), output, watched, done = std::move(done)] {
            const CertificateOutcome outcome = command();
            QMetaObject::invokeMethod(
                this,
                [this, outcome, output, watched, done] { finish(outcome, output, watched, done); },
                Qt::QueuedConnection);
        });
    return true;
}

void CertificateRunner::finish(const CertificateOutcome& outcome,
                               QPointer<CertificateOutputWindow> window, QPointer<QWidget> dialog,
                               const std::function<void(const CertificateOutcome&)>& done) {
    busy_ = false;
    if (window) window->show_outcome(outcome);
    if (dialog && done) done(outcome);
    emit busy_changed(false);
}

void CertificateRunner::keep_outputs(QWidget* dialog) {
    for (auto* output :
         dialog->findChildren<CertificateOutputWindow*>(Qt::FindDirectChildrenOnly)) {
        const QRect where = output->geometry();
        output->setParent(window_, output->windowFlags());  // hides it
        output->setGeometry(where);
        output->show();
    }
}

}  // namespace zk
