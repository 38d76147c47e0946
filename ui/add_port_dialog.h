#pragma once
// "Add Port Mapping": creates a mapping or changes one, for Add and Edit alike.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "core/port_mapping.h"
#include "core/validation.h"
#include "ui/desktop_seams.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zk {

class CAdvanced;

// UI thread only. Edits a copy of `record`: an all-empty record for Add, a copy of the table's
// record for Edit (the kind follows from the record's name being empty). OK runs the core checks
// and stays open with a message on the first failure.
//
// `store_record` (Edit only, may be empty) writes the table's record; it is called at once when
// the Advanced dialog ends with OK, so that change stands even if this dialog is cancelled. A
// returned text is shown as an error. `open_ssl_settings` edits the SSL fields of the working
// record (the dialog is the parent of its window); while it is empty the "SSL Encryption" button
// stays disabled.
class CAddPort : public QDialog {
    Q_OBJECT

public:
    CAddPort(const PortMapping& record, MappingTable table, DesktopSeams& seams,
             std::function<std::optional<std::string>(const PortMapping&)> store_record,
             std::function<void(PortMapping&, QWidget*)> open_ssl_settings,
             QWidget* parent = nullptr);

    // After OK: the record with this dialog's fields, the Advanced dialog's values and
    // enable_smart filled in; every other field as the working record holds it.
    PortMapping mapping() const { return result_; }

    // A filled-in record offered for Add (a suggestion from the ports catalogue) is checked as a
    // new mapping, whose name must not be taken.
    void check_as_new() { kind_ = EditKind::add; }

    void accept() override;

private:
    void build_layout();
    void load_record();
    void connect_reactions();
    void type_changed();
    void http_proxy_clicked(bool checked);
    void listen_single_clicked();
    void listen_range_clicked();
    void destination_single_clicked();
    void destination_range_clicked();
    void recompute_destination_end();
    void set_destination_enabled(bool enabled);
    void open_advanced();
    PortMapping entered_mapping() const;

    PortMapping record_;  // as opened, plus what the Advanced and SSL dialogs store in it
    EditKind kind_;       // Edit when opened on a named record, unless check_as_new()
    const MappingTable table_;
    DesktopSeams& seams_;
    std::function<std::optional<std::string>(const PortMapping&)> store_record_;
    std::function<void(PortMapping&, QWidget*)> open_ssl_settings_;
    bool smart_route_ = false;
    PortMapping result_;

    QLineEdit* name_;
    QComboBox* type_;
    QCheckBox* http_proxy_;
    QPushButton* ssl_;
    QLineEdit* listen_port_;
    QLabel* listen_to_;
    QLineEdit* listen_port_end_;
    QRadioButton* listen_single_;
    QRadioButton* listen_range_;
    QLineEdit* destination_ip_;
    QLineEdit* destination_port_;
    QLabel* destination_to_;
    QLineEdit* destination_port_end_;
    QRadioButton* destination_single_;
    QRadioButton* destination_range_;
    QLineEdit* max_sessions_;
    QCheckBox* auto_start_;
    CAdvanced* advanced_;
};

}  // namespace zk
