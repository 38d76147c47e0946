#pragma once
// "Add Port Trigger" / "Edit Port Trigger": creates a trigger entry or changes one.

#include <QDialog>

#include "core/port_trigger.h"
#include "ui/desktop_seams.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zk {

// UI thread only. Edits a copy of `record`: Add when its name is empty, Edit otherwise. OK runs
// the core checks against `table` (a host name is looked up through the seams) and stays open
// with a message on the first failure.
class CAddTrigger : public QDialog {
    Q_OBJECT

public:
    CAddTrigger(const PortTrigger& record, TriggerTable table, DesktopSeams& seams,
                QWidget* parent = nullptr);

    // After OK: the record with this dialog's fields.
    PortTrigger trigger() const { return result_; }

    void accept() override;

private:
    PortTrigger entered_trigger() const;

    const PortTrigger record_;
    const TriggerTable table_;
    DesktopSeams& seams_;
    PortTrigger result_;

    QLineEdit* name_;
    QComboBox* protocol_;
    QLineEdit* address_;
    QLineEdit* port_;
    QLineEdit* port_end_;
    QLineEdit* period_;
    QCheckBox* auto_start_;
};

}  // namespace zk
