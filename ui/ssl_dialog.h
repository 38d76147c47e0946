#pragma once
// "SSL Encryption": the SSL part of one mapping (whether it is one end of a tunnel, which end,
// and the key and certificate files of each end), with the certificate tool that makes those
// files: keys, requests, a root certificate and certificates signed by it.
//
// The dialog edits a copy of the ten SSL fields; mapping() returns them as the last accepted OK
// left them. Certificate commands run through the shared CertificateRunner, one at a time: the
// "Create" buttons stay disabled while any runs, and a field is filled only when its command
// succeeded.
//
// UI thread only.

#include <QDialog>
#include <string>

#include "core/port_mapping.h"
#include "ui/certificate_runner.h"
#include "ui/desktop_seams.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zk {

class CAddSSL final : public QDialog {
    Q_OBJECT
public:
    // `program_dir` ends with '/': openssl.cnf and CA/ are there.
    CAddSSL(const PortMapping& record, DesktopSeams& seams, CertificateRunner& runner,
            std::string program_dir, QWidget* parent = nullptr);

    const PortMapping& mapping() const { return record_; }

    void accept() override;
    void done(int result) override;  // hands the output windows to the main window

private:
    // One end's three files and the buttons that fill them.
    struct Role {
        CertificateRole role;
        QLineEdit* key;
        QPushButton* create_key;
        QPushButton* select_key;
        QLineEdit* request;
        QPushButton* create_request;
        QPushButton* select_request;
        QLineEdit* certificate;
        QPushButton* create_certificate;
        QPushButton* select_certificate;
        bool enabled = false;
    };

    Role make_role(CertificateRole role);
    QWidget* build_ca_center();
    QWidget* build_roles();
    void connect_role(Role& role);
    void load_record();

    void enable_changed();
    void role_chosen(CertificateRole role);
    void set_role_enabled(Role& role, bool enabled);
    void update_create_buttons();

    // A file chooser's answer, checked to fit its field; empty when cancelled or refused.
    QString confirmed_path(const QString& path);
    void select_file(QLineEdit* field, const QString& filter);
    void create_private_key(Role& role);
    void create_request(Role& role);
    void create_root_certificate();
    void sign_certificate(Role& role);
    // Runs `command` and, when it succeeds, calls `fill` to put its output path(s) in place.
    void run(const QString& title, std::function<CertificateOutcome()> command,
             std::function<void()> fill);
    void refuse(const char* message);

    PortMapping record_;
    DesktopSeams& seams_;
    CertificateRunner& runner_;
    const std::string program_dir_;

    QLineEdit* root_key_;
    QPushButton* select_root_key_;
    QLineEdit* root_;
    QPushButton* select_root_;
    QPushButton* create_root_;
    QCheckBox* enable_;
    QRadioButton* client_radio_;
    QRadioButton* server_radio_;
    Role client_;
    Role server_;
};

}  // namespace zk
