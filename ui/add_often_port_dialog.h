#pragma once
// "Add Often Used Ports": a new entry for the often used ports catalogue.

#include <QDialog>

#include "core/ports_catalogue.h"
#include "ui/desktop_seams.h"

class QLineEdit;

namespace zk {

// UI thread only. OK runs the catalogue's entry check and stays open with its message when the
// entry is refused.
class CAdd_Often_Port : public QDialog {
    Q_OBJECT

public:
    explicit CAdd_Often_Port(DesktopSeams& seams, QWidget* parent = nullptr);

    // After OK: the three texts as typed (the port texts may be empty).
    PortsEntry entry() const { return result_; }

    void accept() override;

private:
    PortsEntry entered() const;

    DesktopSeams& seams_;
    PortsEntry result_;
    QLineEdit* name_;
    QLineEdit* tcp_ports_;
    QLineEdit* udp_ports_;
};

}  // namespace zk
