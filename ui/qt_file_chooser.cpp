#include "ui/qt_file_chooser.h"

#include <QFileDialog>

namespace zk {

QString QtFileChooser::save_file_name(QWidget* parent, const QString& filter,
                                      const QString& default_suffix) {
    // The static getSaveFileName has no default suffix; a dialog object does.
    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(default_suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString QtFileChooser::open_file_name(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

}  // namespace zk
