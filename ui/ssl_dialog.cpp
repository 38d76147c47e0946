#include "ui/ssl_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"
#include "ui/root_name_dialog.h"
#include "ui/ssl_help_dialog.h"

namespace zk {
namespace {

constexpr const char* kExplanation =
    "If you choose to enable \"SSL Encryption\" option,then this port mapping will run as an "
    "encryption server or client.At the same time,you must know encryption server and client "
    "must be paired to be used.That means if you enable a port mapping run as an encryption "
    "client for encrypting incoming data from your client to Zelkora,there must be exist a port "
    "mapping run as an encryption server for decrypting outgoing data from Zelkora to your "
    "destination server.";

// The three file kinds: a chooser's filter and the suffix a bare name gets.
struct FileKind {
    const char* filter;
    const char* suffix;
};
constexpr FileKind kKeyFile{"PEM File (*.pem)", "pem"};
constexpr FileKind kRequestFile{"CSR File (*.csr)", "csr"};
constexpr FileKind kCertificateFile{"Cer File (*.cer)", "cer"};

// Every path field holds as much as the record's path fields do.
constexpr int kPathCapacity = static_cast<int>(decltype(PortMapping::root)::capacity) - 1;

QLineEdit* path_field(const QString& name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    // Only the Create and Select buttons fill a path.
    field->setReadOnly(true);
    field->setMinimumWidth(300);
    return field;
}

const char* role_name(CertificateRole role) {
    return role == CertificateRole::server ? "server" : "client";
}

}  // namespace

CAddSSL::CAddSSL(const PortMapping& record, DesktopSeams& seams, CertificateRunner& runner,
                 std::string program_dir, QWidget* parent)
    : QDialog(parent),
      record_(record),
      seams_(seams),
      runner_(runner),
      program_dir_(std::move(program_dir)),
      root_key_(path_field("root_key")),
      select_root_key_(push_button("Select", "select_root_key")),
      root_(path_field("root")),
      select_root_(push_button("Select", "select_root")),
      create_root_(push_button("Create", "create_root")),
      enable_(new QCheckBox("Enable SSL Encryption")),
      client_radio_(new QRadioButton("Client")),
      server_radio_(new QRadioButton("Server")),
      client_(make_role(CertificateRole::client)),
      server_(make_role(CertificateRole::server)) {
    setWindowTitle("SSL Encryption");
    enable_->setObjectName("enable_ssl");
    client_radio_->setObjectName("client");
    server_radio_->setObjectName("server");
    auto* roles = new QButtonGroup(this);
    roles->addButton(client_radio_);
    roles->addButton(server_radio_);

    auto* explanation = new QPlainTextEdit(kExplanation);
    explanation->setObjectName("explanation");
    explanation->setReadOnly(true);
    explanation->setTabChangesFocus(true);
    explanation->setFixedHeight(explanation->fontMetrics().lineSpacing() * 5 + 12);

    auto* help = push_button("Help", "help");
    auto* foot = new QHBoxLayout;
    foot->addWidget(help);
    foot->addStretch();
    foot->addWidget(dialog_buttons(this, "Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(build_ca_center());
    layout->addWidget(build_roles());
    layout->addLayout(foot);

    connect(help, &QPushButton::clicked, this, [this] { SSL_Help(this).exec(); });
    connect(select_root_key_, &QPushButton::clicked, this,
            [this] { select_file(root_key_, kKeyFile.filter); });
    connect(select_root_, &QPushButton::clicked, this,
            [this] { select_file(root_, kCertificateFile.filter); });
    connect(create_root_, &QPushButton::clicked, this, &CAddSSL::create_root_certificate);
    connect(enable_, &QCheckBox::toggled, this, &CAddSSL::enable_changed);
    connect(client_radio_, &QRadioButton::clicked, this,
            [this] { role_chosen(CertificateRole::client); });
    connect(server_radio_, &QRadioButton::clicked, this,
            [this] { role_chosen(CertificateRole::server); });
    connect_role(client_);
    connect_role(server_);
    connect(&runner_, &CertificateRunner::busy_changed, this, &CAddSSL::update_create_buttons);
    load_record();
}

CAddSSL::Role CAddSSL::make_role(CertificateRole role) {
    const QString prefix = role_name(role);
    return Role{.role = role,
                .key = path_field(prefix + "_key"),
                .create_key = push_button("Create", "create_" + prefix + "_key"),
                .select_key = push_button("Select", "select_" + prefix + "_key"),
                .request = path_field(prefix + "_request"),
                .create_request = push_button("Create", "create_" + prefix + "_request"),
                .select_request = push_button("Select", "select_" + prefix + "_request"),
                .certificate = path_field(prefix + "_certificate"),
                .create_certificate = push_button("Create", "create_" + prefix + "_certificate"),
                .select_certificate = push_button("Select", "select_" + prefix + "_certificate")};
}

QWidget* CAddSSL::build_ca_center() {
    auto* group = new QGroupBox("CA Center");
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Root Key: "), 0, 0);
    grid->addWidget(root_key_, 0, 1);
    grid->addWidget(select_root_key_, 0, 3);
    grid->addWidget(new QLabel("Root Certificate: "), 1, 0);
    grid->addWidget(root_, 1, 1);
    grid->addWidget(create_root_, 1, 2);
    grid->addWidget(select_root_, 1, 3);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* CAddSSL::build_roles() {
    auto* group = new QGroupBox("SSL Encryption");
    auto* grid = new QGridLayout(group);
    grid->addWidget(enable_, 0, 0, 1, 4);
    int row = 1;
    const auto add_role = [&](QRadioButton* radio, const Role& role, const char* request_label) {
        grid->addWidget(radio, row++, 0, 1, 4);
        const auto add_file = [&](const char* label, QLineEdit* field, QPushButton* create,
                                  QPushButton* select) {
            auto* caption = new QLabel(label);
            caption->setIndent(20);
            grid->addWidget(caption, row, 0);
            grid->addWidget(field, row, 1);
            grid->addWidget(create, row, 2);
            grid->addWidget(select, row, 3);
            ++row;
        };
        add_file("Private Key: ", role.key, role.create_key, role.select_key);
        add_file(request_label, role.request, role.create_request, role.select_request);
        add_file("Certificate: ", role.certificate, role.create_certificate,
                 role.select_certificate);
    };
    add_role(client_radio_, client_, "Certificate Req:  ");
    add_role(server_radio_, server_, "Certificate Req: ");
    grid->setColumnStretch(1, 1);
    return group;
}

void CAddSSL::connect_role(Role& role) {
    connect(role.create_key, &QPushButton::clicked, this,
            [this, &role] { create_private_key(role); });
    connect(role.select_key, &QPushButton::clicked, this,
            [this, &role] { select_file(role.key, kKeyFile.filter); });
    connect(role.create_request, &QPushButton::clicked, this,
            [this, &role] { create_request(role); });
    connect(role.select_request, &QPushButton::clicked, this,
            [this, &role] { select_file(role.request, kRequestFile.filter); });
    connect(role.create_certificate, &QPushButton::clicked, this,
            [this, &role] { sign_certificate(role); });
    connect(role.select_certificate, &QPushButton::clicked, this,
            [this, &role] { select_file(role.certificate, kCertificateFile.filter); });
}

void CAddSSL::load_record() {
    enable_->setChecked(is_yes(record_.ssl_enable));
    enable_changed();
    const std::string_view type = record_.ssl_type.view();
    const auto role =
        type.empty() || type == "client" ? CertificateRole::client : CertificateRole::server;
    (role == CertificateRole::client ? client_radio_ : server_radio_)->setChecked(true);
    role_chosen(role);
    const auto show = [](QLineEdit* field, std::string_view path) { field->setText(qtext(path)); };
    show(server_.key, record_.private_key.view());
    show(server_.request, record_.public_key.view());
    show(server_.certificate, record_.server_cer.view());
    show(client_.key, record_.private_key_client.view());
    show(client_.request, record_.public_key_client.view());
    show(client_.certificate, record_.client_cer.view());
    show(root_key_, record_.root_key.view());
    show(root_, record_.root.view());
}

void CAddSSL::enable_changed() {
    const bool enabled = enable_->isChecked();
    client_radio_->setEnabled(enabled);
    server_radio_->setEnabled(enabled);
    if (!enabled) {
        set_role_enabled(client_, false);
        set_role_enabled(server_, false);
        return;
    }
    role_chosen(server_radio_->isChecked() ? CertificateRole::server : CertificateRole::client);
}

// Acts whatever the check box says: with SSL off the chosen role's files stay editable, so they
// can be prepared before the tunnel is switched on.
void CAddSSL::role_chosen(CertificateRole role) {
    set_role_enabled(server_, role == CertificateRole::server);
    set_role_enabled(client_, role == CertificateRole::client);
}

void CAddSSL::set_role_enabled(Role& role, bool enabled) {
    role.enabled = enabled;
    for (QWidget* widget : std::initializer_list<QWidget*>{role.key, role.select_key, role.request,
                                                           role.select_request, role.certificate,
                                                           role.select_certificate}) {
        widget->setEnabled(enabled);
    }
    update_create_buttons();
}

void CAddSSL::update_create_buttons() {
    const bool idle = !runner_.busy();
    create_root_->setEnabled(idle);
    for (const Role* role : {&client_, &server_}) {
        for (QPushButton* create :
             {role->create_key, role->create_request, role->create_certificate}) {
            create->setEnabled(idle && role->enabled);
        }
    }
}

QString CAddSSL::confirmed_path(const QString& path) {
    if (path.isEmpty()) return {};
    // A longer path would be cut when stored and name another file than the one chosen.
    if (path.toUtf8().size() > kPathCapacity) {
        refuse("the file path is too long, please choose a shorter one!");
        return {};
    }
    return path;
}

void CAddSSL::select_file(QLineEdit* field, const QString& filter) {
    const QString path = confirmed_path(seams_.files.open_file_name(this, filter));
    if (!path.isEmpty()) field->setText(path);
}

void CAddSSL::create_private_key(Role& role) {
    const QString path =
        confirmed_path(seams_.files.save_file_name(this, kKeyFile.filter, kKeyFile.suffix));
    if (path.isEmpty()) return;
    run(
        "Create Private Key",
        [dir = program_dir_, key = path.toStdString()] { return zk::create_private_key(dir, key); },
        [field = role.key, path] { field->setText(path); });
}

void CAddSSL::create_request(Role& role) {
    if (role.key->text().isEmpty()) {
        refuse(role.role == CertificateRole::server
                   ? "please create or select server private key file firstly."
                   : "please create or select client private key file firstly.");
        return;
    }
    const QString path =
        confirmed_path(seams_.files.save_file_name(this, kRequestFile.filter, kRequestFile.suffix));
    if (path.isEmpty()) return;
    run(
        "Create Certificate Request",
        [dir = program_dir_, which = role.role, key = text_of(role.key), csr = path.toStdString()] {
            return zk::create_request(dir, which, key, csr);
        },
        [field = role.request, path] { field->setText(path); });
}

void CAddSSL::create_root_certificate() {
    const auto name = Root_Name(seams_.messages, this).ask();
    if (!name) return;
    const std::string text = name->toStdString();
    const QString certificate = QString::fromStdString(root_certificate_path(program_dir_, text));
    const QString key = QString::fromStdString(root_key_path(program_dir_, text));
    if (confirmed_path(certificate).isEmpty()) return;
    run(
        "Create Root Certificate",
        [dir = program_dir_, text] { return zk::create_root_certificate(dir, text); },
        [this, certificate, key] {
            root_->setText(certificate);
            root_key_->setText(key);
        });
}

void CAddSSL::sign_certificate(Role& role) {
    if (role.request->text().isEmpty()) {
        refuse(role.role == CertificateRole::server
                   ? "please create or select server certificate request file firstly."
                   : "please create or select client certificate request file firstly.");
        return;
    }
    if (root_key_->text().isEmpty()) {
        refuse("please create or select root key file firstly.");
        return;
    }
    if (root_->text().isEmpty()) {
        refuse("please create or select root certificate file firstly.");
        return;
    }
    const QString path = confirmed_path(
        seams_.files.save_file_name(this, kCertificateFile.filter, kCertificateFile.suffix));
    if (path.isEmpty()) return;
    run(
        "Sign Certificate",
        [dir = program_dir_, csr = text_of(role.request), cer = path.toStdString(),
         root = text_of(root_), root_key = text_of(root_key_)] {
            return zk::sign_certificate(dir, csr, cer, root, root_key);
        },
        [field = role.certificate, path] { field->setText(path); });
}

void CAddSSL::run(const QString& title, std::function<CertificateOutcome()> command,
                  std::function<void()> fill) {
    // The buttons are disabled while a command runs; a click that raced the signal is dropped.
    runner_.run(title, std::move(command), this,
                [fill = std::move(fill)](const CertificateOutcome& outcome) {
                    if (outcome.succeeded) fill();
                });
}

void CAddSSL::refuse(const char* message) {
    seams_.messages.show_message(message, "", MessageIcon::none);
}

void CAddSSL::accept() {
    const bool enabled = enable_->isChecked();
    const bool server = server_radio_->isChecked();
    if (enabled && server) {
        if (server_.key->text().isEmpty())
            return refuse("please create or select server private key.");
        if (server_.certificate->text().isEmpty())
            return refuse("please create or select server certificate.");
    }
    if (enabled && !server) {
        if (client_.key->text().isEmpty())
            return refuse("please create or select client private key.");
        if (client_.certificate->text().isEmpty())
            return refuse("please create or select client certificate.");
    }
    record_.ssl_enable = enabled ? "Y" : "N";
    record_.ssl_type = server ? "server" : "client";
    record_.private_key = text_of(server_.key);
    record_.public_key = text_of(server_.request);
    record_.server_cer = text_of(server_.certificate);
    record_.private_key_client = text_of(client_.key);
    record_.public_key_client = text_of(client_.request);
    record_.client_cer = text_of(client_.certificate);
    record_.root_key = text_of(root_key_);
    record_.root = text_of(root_);
    QDialog::accept();
}

void CAddSSL::done(int result) {
    runner_.keep_outputs(this);
    QDialog::done(result);
}

}  // namespace zk
