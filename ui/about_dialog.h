#pragma once
// "About": the program's picture and version.

#include <QDialog>

namespace zk {

class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace zk
