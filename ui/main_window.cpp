#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "core/validation.h"
#include "engine/event_log.h"
#include "platform/descriptor_reserve.h"
#include "ui/about_dialog.h"
#include "ui/add_port_dialog.h"
#include "ui/certificate_runner.h"
#include "ui/floating_window.h"
#include "ui/icons.h"
#include "ui/log_follower_window.h"
#include "ui/main_menu.h"
#include "ui/named_widgets.h"
#include "ui/operating_window.h"
#include "ui/ssl_dialog.h"
#include "ui/traffic_sampler.h"
#include "ui/tray_icon.h"

namespace zk {
namespace {

QGroupBox* make_group(const char* title, std::initializer_list<QPushButton*> buttons) {
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    for (auto* button : buttons)
        layout->addWidget(button);
    return group;
}

// The column's width: its design width, or wider when this desktop's font would cut its title
// or its longest usual text.
int column_width(const QTableView* view, int column) {
    static constexpr const char* kLongestTexts[kListColumnCount] = {
        "", "TCP", "starting", "99999", "unlimited", "65535-65535", "", "65535-65535", "Y"};
    const auto title = kListColumnTitles[column];
    const int padding = 2 * view->fontMetrics().horizontalAdvance(' ') + 12;
    const int title_width = view->horizontalHeader()->fontMetrics().horizontalAdvance(
                                QString::fromUtf8(title.data(), qsizetype(title.size()))) +
                            padding;
    const int text_width = view->fontMetrics().horizontalAdvance(kLongestTexts[column]) + padding;
    return std::max({kListColumnWidths[column], title_width, text_width});
}

}  // namespace

MainWindow::MainWindow(AppModel& model, DesktopSeams& seams, DesktopSetup setup, QWidget* parent)
    : QDialog(parent), model_(model), seams_(seams), setup_(std::move(setup)) {
    register_icons();
    setWindowTitle("Zelkora");
    setWindowIcon(QIcon(":/icons/zelkora.png"));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);

    sampler_ = new TrafficSampler(setup_.timings.traffic_sample, this);
    certificates_ = new CertificateRunner(this);
    floating_ = std::make_unique<CTheTop>(*sampler_);
    menu_ = new MainMenu(
        model_, relay_, seams_, setup_, *sampler_, *floating_,
        [this](const PortMapping& suggestion) { add_mapping_like(suggestion); }, this);
    menu_button_ = new QToolButton;
    menu_button_->setObjectName("menu_button");
    menu_button_->setIcon(QIcon(":/icons/zelkora.png"));
    menu_button_->setIconSize({32, 32});
    menu_button_->setPopupMode(QToolButton::MenuButtonPopup);
    menu_button_->setMenu(menu_);
    menu_button_->setToolTip("Menu");
    auto* toolbar = new QToolBar;
    toolbar->addWidget(menu_button_);

    view_ = new QTableView;
    view_->setObjectName("mapping_list");
    view_->setModel(&list_);
    view_->setShowGrid(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view_->horizontalHeader()->setHighlightSections(false);
    int list_width = 2 * view_->frameWidth();
    for (int c = 0; c < static_cast<int>(kListColumnCount); ++c) {
        const int width = column_width(view_, c);
        view_->setColumnWidth(c, width);
        list_width += width;
    }
    view_->setMinimumWidth(list_width + view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::update_buttons);
    connect(view_, &QTableView::doubleClicked, this, [this] {
        if (edit_->isEnabled()) edit_mapping();
    });

    add_ = push_button("Add", "add");
    edit_ = push_button("Edit", "edit");
    delete_ = push_button("Delete", "delete");
    start_ = push_button("Start", "start");
    stop_ = push_button("Stop", "stop");
    tail_log_ = push_button("Tail Log", "tail_log");
    auto* help = push_button("Help", "help");
    auto* about = push_button("About", "about");
    auto* hide = push_button("Hide", "hide");
    auto* exit = push_button("Exit", "exit");
    connect(add_, &QPushButton::clicked, this, &MainWindow::add_mapping);
    connect(edit_, &QPushButton::clicked, this, &MainWindow::edit_mapping);
    connect(delete_, &QPushButton::clicked, this, &MainWindow::delete_mapping);
    connect(start_, &QPushButton::clicked, this, &MainWindow::start_mappings);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::stop_mappings);
    connect(tail_log_, &QPushButton::clicked, this, &MainWindow::tail_log);
    connect(help, &QPushButton::clicked, this, &MainWindow::open_help);
    connect(about, &QPushButton::clicked, this, &MainWindow::open_about);
    connect(hide, &QPushButton::clicked, this, &MainWindow::hide_to_tray);
    connect(exit, &QPushButton::clicked, this, &MainWindow::exit_program);

    auto* side = new QVBoxLayout;
    side->addWidget(make_group("Port Mapping", {add_, edit_, delete_}));
    side->addWidget(make_group("Operation", {start_, stop_, tail_log_}));
    side->addStretch();
    for (auto* button : {help, about, hide, exit})
        side->addWidget(button);
    auto* body = new QHBoxLayout;
    body->addWidget(view_, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(toolbar);
    layout->addLayout(body, 1);
    resize(minimumSizeHint().width(), 440);

    // The keys a keyboard user looks for; each does what its button does, when it may.
    const auto shortcut = [this](QKeySequence keys, QWidget* scope, QPushButton* button) {
        auto* action = new QAction(scope);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, button, [button] {
            if (button->isEnabled()) button->click();
        });
        scope->addAction(action);
    };
    shortcut(QKeySequence::New, this, add_);
    shortcut(QKeySequence(Qt::Key_Return), view_, edit_);
    shortcut(QKeySequence(Qt::Key_Enter), view_, edit_);
    shortcut(QKeySequence::Delete, view_, delete_);
    shortcut(QKeySequence::HelpContents, this, help);
    auto* open_menu = new QAction(this);
    open_menu->setShortcut(Qt::Key_F10);
    connect(open_menu, &QAction::triggered, menu_button_, &QToolButton::showMenu);
    addAction(open_menu);

    tray_ = new TrayIcon(setup_.timings, this);
    connect(tray_, &TrayIcon::open_requested, this, &MainWindow::show_window);
    connect(tray_, &TrayIcon::exit_requested, this, [this] {
        tray_->remove();
        exit_program();
    });
    connect(&relay_, &ModelRelay::changed, this, &MainWindow::refresh);
    view_->setFocus();  // the arrow keys pick rows from the start
    update_buttons();
}

MainWindow::~MainWindow() {
    model_.set_observer(nullptr);
}

void MainWindow::start_up() {
    tray_->create();
    model_.set_observer(&relay_);
    model_.start_up();
    refresh();
    sampler_->start();
    if (is_set(model_.settings().top_window)) floating_->show_at_top_right();
}

void MainWindow::refresh() {
    list_.set_rows(model_.list_rows());
    update_buttons();
}

std::vector<int> MainWindow::selected_rows() const {
    std::vector<int> rows;
    for (const auto& index : view_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int MainWindow::first_selected_row() const {
    const auto rows = selected_rows();
    return rows.empty() ? -1 : rows.front();
}

void MainWindow::update_buttons() {
    const int row = first_selected_row();
    const RowActions actions = row < 0 ? RowActions{} : model_.row_actions(row);
    start_->setEnabled(actions.start);
    stop_->setEnabled(actions.stop);
    edit_->setEnabled(actions.edit);
    delete_->setEnabled(actions.remove);
    tail_log_->setEnabled(actions.tail_log);
}

void MainWindow::show_refusal(const std::optional<std::string>& message) {
    if (message) seams_.messages.show_message(*message, kErrorTitle, MessageIcon::error);
}

void MainWindow::open_ssl_settings(PortMapping& record, QWidget* parent) {
    CAddSSL dialog(record, seams_, *certificates_, model_.program_dir(), parent);
    if (dialog.exec() == QDialog::Accepted) record = dialog.mapping();
}

void MainWindow::add_mapping() {
    add_mapping_like(PortMapping{});
}

void MainWindow::add_mapping_like(const PortMapping& suggestion) {
    CAddPort dialog(
        suggestion, model_.snapshot().mappings, seams_, {},
        [this](PortMapping& record, QWidget* parent) { open_ssl_settings(record, parent); }, this);
    dialog.check_as_new();
    if (dialog.exec() != QDialog::Accepted) return;
    show_refusal(model_.add_mapping(dialog.mapping()));
    refresh();
}

void MainWindow::edit_mapping() {
    const int row = first_selected_row();
    const auto snapshot = model_.snapshot();
    if (row < 0 || row >= static_cast<int>(snapshot.mappings.size())) return;
    // By name: the web interface may move rows while the dialog is open.
    const std::string name = snapshot.mappings[row].name.str();
    auto store = [this, name](const PortMapping& record) {
        return model_.edit_mapping_named(name, record);
    };
    CAddPort dialog(
        snapshot.mappings[row], snapshot.mappings, seams_, store,
        [this](PortMapping& record, QWidget* parent) { open_ssl_settings(record, parent); }, this);
    if (dialog.exec() == QDialog::Accepted) show_refusal(store(dialog.mapping()));
    refresh();
}

void MainWindow::delete_mapping() {
    const int row = first_selected_row();
    if (row < 0) return;
    show_refusal(model_.delete_mapping(row));
    refresh();
}

void MainWindow::start_mappings() {
    for (const int row : selected_rows()) {
        if (const auto error = model_.start_mapping(row)) {
            show_refusal(error);
            continue;
        }
        // Once per row, however many ports it listens on.
        CStart(setup_.timings.operating, this).run({});
    }
    refresh();
}

void MainWindow::stop_mappings() {
    for (const int row : selected_rows()) {
        std::optional<std::string> error;
        CStart(setup_.timings.operating, this).run([&] { error = model_.stop_mapping(row); });
        show_refusal(error);
    }
    refresh();
}

void MainWindow::tail_log() {
    const int row = first_selected_row();
    const auto snapshot = model_.snapshot();
    if (row < 0 || row >= static_cast<int>(snapshot.mappings.size())) return;
    const PortMapping& mapping = snapshot.mappings[row];
    if (!is_set(mapping.enable_log) || mapping.log_file.empty()) return;
    auto* follower = new LogFollowerWindow(mapping.log_file.str(), setup_.timings.log_follow, this);
    follower->show();
}

void MainWindow::open_help() {
    const std::string guide = model_.program_dir() + "help/index.html";
    if (!seams_.processes.launch({"xdg-open", guide}))
        log_event("cannot start xdg-open for %s\n", guide.c_str());
}

void MainWindow::open_about() {
    CAboutDlg(this).exec();
}

void MainWindow::hide_to_tray() {
    tray_->show_balloon("Zelkora is still running here",
                        "You can operate it by dobule-click your mouse left-button or "
                        "right-button");
    hide();
}

void MainWindow::show_window() {
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::exit_program() {
    if (exiting_) return;
    exiting_ = true;
    release_descriptor_reserve();  // the save needs a descriptor even when none is left
    const int error = model_.save_configuration();
    if (error != 0) {
        log_event("cannot write %s: %s\n", model_.config_path().c_str(), std::strerror(error));
        std::fprintf(stderr, "zelkora: cannot write %s: %s\n", model_.config_path().c_str(),
                     std::strerror(error));
    }
    tray_->remove();
    floating_->hide_window();
    hide();
    emit exited(error == 0);
}

void MainWindow::reject() {
    exit_program();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!exiting_) hide_to_tray();
}

}  // namespace zk
