#pragma once
// "Advanced Option": the protocol-debug log and the IP strategy of a mapping, and a helper that
// resolves a web site name to an address.

#include <QDialog>
#include <vector>

#include "core/port_mapping.h"
#include "ui/desktop_seams.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zk {

// UI thread only. Works on a record its owner keeps alive for the dialog's whole life: every
// opening reads it, OK writes the five values into it, Cancel writes nothing. The allow and
// block lists edited in an opening stay the working lists until the next opening, even after
// Cancel; the owner reads the working values with store_values().
class CAdvanced : public QDialog {
    Q_OBJECT

public:
    CAdvanced(PortMapping& record, DesktopSeams& seams, QWidget* parent = nullptr);

    void accept() override;

    // Writes enable_log, enable_ip_strategy, log_file, allow_ip and block_ip from the working
    // values into `target`.
    void store_values(PortMapping& target) const;

protected:
    // Every opening (exec, open or show) starts from the record again.
    void showEvent(QShowEvent* event) override;

private:
    void load_record();
    void log_clicked(bool checked);
    void save_log_file();
    void resolve_site();
    void add_range(QTableWidget* list, std::vector<IpRange>& ranges);
    void remove_range(QTableWidget* list, std::vector<IpRange>& ranges);

    PortMapping& record_;
    DesktopSeams& seams_;

    bool log_enabled_ = false;
    bool ip_strategy_enabled_ = false;
    decltype(PortMapping::log_file) log_path_;
    std::vector<IpRange> allow_ranges_;
    std::vector<IpRange> block_ranges_;

    QCheckBox* enable_log_;
    QLineEdit* log_file_;
    QPushButton* save_;
    QLineEdit* web_site_;
    QCheckBox* enable_ip_strategy_;
    QTableWidget* allow_list_;
    QTableWidget* block_list_;
};

}  // namespace zk
