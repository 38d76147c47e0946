#pragma once
// "Often Used Ports": the catalogue of applications and their ports, filtered by the first
// character of the name, searched by name, and appended to. Modeless; every menu command opens a
// window of its own, which deletes itself when closed. Picking an entry (double click or Enter)
// hands it to the caller, which may open a mapping for its ports.
//
// UI thread only. The file is opened for every load and every append; windows open side by side
// see each other's additions only after their own filter is picked again.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "core/ports_catalogue.h"
#include "ui/desktop_seams.h"

class QComboBox;
class QTableWidget;

namespace zk {

class COften_used_ports final : public QDialog {
    Q_OBJECT
public:
    // `program_dir` ends with '/'. `open_mapping` (may be empty) receives a picked entry.
    COften_used_ports(std::string program_dir, DesktopSeams& seams,
                      std::function<void(const PortsEntry&)> open_mapping,
                      QWidget* parent = nullptr);

    // The commands of the buttons.
    void search();
    void add();

    QTableWidget* list() const { return list_; }

private:
    // Fills the grid with the entries that pass `filter`; an unreadable file leaves it as it is.
    void load_entries(const std::string& filter);
    void append_row(const PortsEntry& entry);
    void pick(int row);

    const std::string program_dir_;
    DesktopSeams& seams_;
    const std::function<void(const PortsEntry&)> open_mapping_;
    std::vector<PortsEntry> shown_;  // row i shows shown_[i]
    QComboBox* filter_;
    QTableWidget* list_;
};

// Opens a new "Often Used Ports" window over `parent` and shows it.
COften_used_ports* open_often_used_ports(std::string program_dir, DesktopSeams& seams,
                                         std::function<void(const PortsEntry&)> open_mapping,
                                         QWidget* parent);

}  // namespace zk
