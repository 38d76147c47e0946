#include "ui/certificate_output_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zk {

CertificateOutputWindow::CertificateOutputWindow(const QString& title, QWidget* parent)
    : QDialog(parent), output_(new QPlainTextEdit), verdict_(new QLabel("running...")) {
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    output_->setObjectName("output");
    output_->setReadOnly(true);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Wrapped, so the whole command line reads without scrolling sideways.
    output_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    verdict_->setObjectName("verdict");
    auto* buttons = new QDialogButtonBox;
    auto* close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    close->setObjectName("close");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output_);
    layout->addWidget(verdict_);
    layout->addWidget(buttons);
    resize(640, 320);
}

void CertificateOutputWindow::show_outcome(const CertificateOutcome& outcome) {
    output_->setPlainText(
        QString::fromStdString("$ " + outcome.command_line + "\n" + outcome.output));
    verdict_->setText(outcome.succeeded ? "The command succeeded."
                                        : "The command failed; no field was changed.");
}

QString CertificateOutputWindow::text() const {
    return output_->toPlainText();
}

QString CertificateOutputWindow::verdict() const {
    return verdict_->text();
}

}  // namespace zk
