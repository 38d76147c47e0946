#pragma once
// The desktop program's file chooser: Qt's file dialogs.

#include "ui/desktop_seams.h"

namespace zk {

// UI thread only.
class QtFileChooser final : public FileChooser {
public:
    QString save_file_name(QWidget* parent, const QString& filter,
                           const QString& default_suffix) override;
    QString open_file_name(QWidget* parent, const QString& filter) override;
};

}  // namespace zk
