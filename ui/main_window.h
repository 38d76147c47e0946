#pragma once
// The main window "Zelkora": the mapping list and the buttons that add, edit, delete, start and
// stop mappings, the toolbar's menu, and the tray icon. It lives for the whole run; closing it
// only hides it, and Exit (also Esc and the tray's "&Exit") is the one way out.
//
// UI thread only. The model reports from engine threads through a ModelRelay, which queues the
// refresh to this thread; no widget is touched from another thread.

#include <QDialog>
#include <memory>
#include <vector>

#include "app/app_model.h"
#include "ui/desktop_seams.h"
#include "ui/desktop_setup.h"
#include "ui/mapping_list_model.h"
#include "ui/model_relay.h"

class QPushButton;
class QTableView;
class QToolButton;

namespace zk {

class CTheTop;
class CertificateRunner;
class MainMenu;
class TrafficSampler;
class TrayIcon;

class MainWindow final : public QDialog {
    Q_OBJECT
public:
    MainWindow(AppModel& model, DesktopSeams& seams, DesktopSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up after the window is built: the tray icon, the model's start-up (event log,
    // config.xml, automatic starts, triggers), the list. Before the window is first shown.
    void start_up();

    // The commands of the buttons, in list order over the selected rows where several apply.
    void add_mapping();
    // Add, with the dialog filled from `suggestion` (an entry of the ports catalogue).
    void add_mapping_like(const PortMapping& suggestion);
    void edit_mapping();
    void delete_mapping();
    void start_mappings();
    void stop_mappings();
    void tail_log();
    void open_help();
    void open_about();
    // Shows the "still running" balloon and hides the window; mappings go on running.
    void hide_to_tray();
    // Brings the window back from the tray or behind other windows.
    void show_window();
    // The exit path: writes config.xml, removes the tray icon, then emits exited().
    void exit_program();

    MappingListModel& list_model() { return list_; }
    QTableView* list_view() const { return view_; }
    MainMenu* main_menu() const { return menu_; }
    TrayIcon* tray() const { return tray_; }
    CTheTop* floating_window() const { return floating_.get(); }

signals:
    void exited(bool saved);

protected:
    void reject() override;  // Esc: the exit path
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void update_buttons();
    std::vector<int> selected_rows() const;  // ascending
    int first_selected_row() const;          // -1 when none
    void show_refusal(const std::optional<std::string>& message);
    // The mapping dialog's "SSL Encryption" button: edits the SSL fields of its working record.
    void open_ssl_settings(PortMapping& record, QWidget* parent);

    AppModel& model_;
    DesktopSeams& seams_;
    const DesktopSetup setup_;
    ModelRelay relay_;
    TrafficSampler* sampler_;
    CertificateRunner* certificates_;    // one certificate command at a time, program-wide
    std::unique_ptr<CTheTop> floating_;  // a window of its own, on top of every other
    MappingListModel list_;
    QTableView* view_;
    QToolButton* menu_button_;
    MainMenu* menu_;
    TrayIcon* tray_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* tail_log_;
    bool exiting_ = false;
};

}  // namespace zk
