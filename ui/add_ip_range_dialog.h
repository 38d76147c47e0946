#pragma once
// "Add IP Range": enters one address range for an allow or block list of the Advanced dialog.

#include <QDialog>

#include "core/message_sink.h"
#include "core/port_mapping.h"

class QLineEdit;

namespace zk {

// UI thread only. Modal; after OK, range() holds both ends, the end completed from the start.
class CAdd_IP_Range : public QDialog {
    Q_OBJECT

public:
    explicit CAdd_IP_Range(MessageSink& messages, QWidget* parent = nullptr);

    IpRange range() const { return range_; }

    void accept() override;

protected:
    // Fills "To: " from "From: " when "To: " receives the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MessageSink& messages_;
    QLineEdit* from_;
    QLineEdit* to_;
    IpRange range_;
};

}  // namespace zk
