#pragma once
// "Search Application": asks for the text the often used ports window looks for.

#include <QDialog>
#include <string>

#include "ui/desktop_seams.h"

class QLineEdit;

namespace zk {

// UI thread only. OK with an empty field shows a message and stays open.
class CSearch_Ports : public QDialog {
    Q_OBJECT

public:
    explicit CSearch_Ports(DesktopSeams& seams, QWidget* parent = nullptr);

    // After OK: the text as typed.
    std::string text() const;

    void accept() override;

private:
    DesktopSeams& seams_;
    QLineEdit* name_;
};

}  // namespace zk
