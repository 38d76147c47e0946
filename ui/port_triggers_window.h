#pragma once
// "Port Triggers": the trigger entries with their status, and the commands that add, edit,
// delete, start and stop them. Modeless; it follows the model live, so a trigger whose threads
// end later shows "stop" without a click.
//
// UI thread only. The model's reports arrive through the main window's ModelRelay, which
// queues them to this thread.

#include <QDialog>
#include <optional>
#include <string>

#include "app/app_model.h"
#include "ui/desktop_seams.h"
#include "ui/model_relay.h"

class QPushButton;
class QTableWidget;

namespace zk {

class PortTriggersWindow final : public QDialog {
    Q_OBJECT
public:
    // `relay` is the model's observer; the window listens to it while both live.
    PortTriggersWindow(AppModel& model, ModelRelay& relay, DesktopSeams& seams,
                       QWidget* parent = nullptr);

    // The commands of the buttons, on the selected entry.
    void add_trigger();
    void edit_trigger();
    void delete_trigger();
    void start_trigger();
    void stop_trigger();

    QTableWidget* list() const { return list_; }

private:
    void refresh();
    void update_buttons();
    // The first entry of the selected row's name, or nothing when no row is selected.
    std::optional<PortTrigger> selected() const;
    void show_refusal(const std::optional<std::string>& message);

    AppModel& model_;
    DesktopSeams& seams_;
    TriggerTable shown_;  // row i shows shown_[i]
    QTableWidget* list_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* start_;
    QPushButton* stop_;
};

// Opens the "Port Triggers" window over `parent`, or brings the one already open forward. The
// window deletes itself when closed.
PortTriggersWindow* open_port_triggers(AppModel& model, ModelRelay& relay, DesktopSeams& seams,
                                       QWidget* parent);

}  // namespace zk
