#pragma once
// The output of one certificate command: the command line, then what openssl printed and how it
// ended. Stays open until the user closes it, whether the command succeeded or not.
//
// UI thread only.

#include <QDialog>

#include "platform/certificate_commands.h"

class QLabel;
class QPlainTextEdit;

namespace zk {

class CertificateOutputWindow final : public QDialog {
    Q_OBJECT
public:
    CertificateOutputWindow(const QString& title, QWidget* parent = nullptr);

    // Replaces "running..." with the command's outcome.
    void show_outcome(const CertificateOutcome& outcome);

    QString text() const;
    QString verdict() const;

private:
    QPlainTextEdit* output_;
    QLabel* verdict_;
};

}  // namespace zk
