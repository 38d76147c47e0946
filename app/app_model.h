#pragma once
// The live model shared by the daemon, the web interface and the desktop program: the settings,
// the mapping table with each row's status and session count, the trigger table, and the
// engine that runs the mappings. Every change to the tables goes through the commands here.
//
// Threading: every public function may be called from any thread; one mutex serialises them,
// so no caller ever sees a half-changed table. The engine reports from its own threads through
// the EngineEvents side of this class (which threads: engine/engine_events.h); those reports
// take the same mutex, so the engine is started under it but stopped outside it. The sink is
// never called with the mutex held: a desktop message box may wait for the user.
//
// Every change to the tables is written to config.xml at once (atomically), so a program that
// is killed loses nothing it had accepted.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/mapping_list.h"
#include "core/app_settings.h"
#include "core/message_sink.h"
#include "core/port_mapping.h"
#include "core/port_trigger.h"
#include "engine/engine.h"
#include "engine/engine_events.h"
#include "engine/port_trigger_run.h"
#include "platform/alert_sound.h"

namespace zk {

struct ModelSnapshot {
    AppSettings settings;
    MappingTable mappings;
    std::vector<ListRow> rows;  // row i shows mappings[i]
    TriggerTable triggers;
};

// Told that the table or a row's status or session count changed, so a front end can refresh.
// Called after the model's lock is released, from engine threads (status, sessions) and from
// the thread of a command; an implementation queues the refresh to its own thread (a queued Qt
// call) and may read the model from there.
class ModelObserver {
public:
    virtual ~ModelObserver() = default;
    virtual void rows_changed() = 0;
};

// Which commands the main list offers for a row (the button rules).
struct RowActions {
    bool start = false;
    bool stop = false;
    bool edit = false;
    bool remove = false;
    bool tail_log = false;
};

class AppModel : private EngineEvents {
public:
    // `program_dir` ends with '/'. `sink` receives messages for the user from any thread;
    // `alert` plays the refusal sound. Both must outlive the model.
    AppModel(std::string program_dir, MessageSink& sink, AlertSound& alert,
             EngineTimings timings = {}, TriggerLimits trigger_limits = {},
             ThreadStarter start_thread = {});
    ~AppModel() override;

    // Reads config.xml into the settings, the mappings and the triggers. A faulty file is
    // reported through the sink; the model keeps what was read.
    void load_files();

    // Start-up: opens the event log, removes a temporary a killed save left, loads the files and
    // starts every mapping whose auto_start is "Y", in table order, then every trigger whose
    // auto_start is "Y" (none when a triggering entry was faulty).
    void start_up();

    // Waits until no row shows "starting" or `limit` passed; true when none does.
    bool wait_for_starts(std::chrono::milliseconds limit) const;

    // Writes config.xml. When the file could not be read whole at start-up, it is first kept as
    // config.xml.invalid, so a typo in a hand-edited file never costs the mappings it held.
    // Out of descriptors it tries again for up to a second. Returns 0 or the errno of the failed
    // step.
    int save_configuration();

    // Commands. Each returns the message to show when it is refused (or when the change was made
    // but config.xml could not be written), or nothing.
    std::optional<std::string> add_mapping(const PortMapping& mapping);
    std::optional<std::string> edit_mapping(int index, const PortMapping& mapping);
    std::optional<std::string> delete_mapping(int index);
    // Starts the listeners of row `index`, which shows "starting" until they report. A start
    // of a starting or running row is refused; a failure of the start itself comes back here,
    // later ones (listening, resolving) arrive through the sink.
    std::optional<std::string> start_mapping(int index);
    // Stops row `index` unless it shows "stop"; returns after the engine's stop hold.
    std::optional<std::string> stop_mapping(int index);
    // Trigger entries, named by their first entry of that name and found under the same lock as
    // the change. Each is checked by validate_trigger without a host look-up (an editor looks
    // the address up before, outside the lock) and shows "stop". A running entry can be neither
    // edited nor deleted.
    std::optional<std::string> add_trigger(const PortTrigger& trigger);
    std::optional<std::string> edit_trigger(std::string_view name, const PortTrigger& trigger);
    std::optional<std::string> delete_trigger(std::string_view name);
    // Starts the first trigger entry named `name`, one thread per trigger port.
    std::optional<std::string> start_trigger(std::string_view name);
    // Posts the stop request for the triggers named `name`; their entries show "stop" once their
    // threads have ended (at once when none runs). The observer hears of both changes.
    std::optional<std::string> stop_trigger(std::string_view name);

    // Replaces the settings (Option and web settings windows); the engine and the web server
    // see them at once.
    std::optional<std::string> change_settings(const AppSettings& settings);

    // Set before start_up, or null; it must outlive the model's engine threads.
    void set_observer(ModelObserver* observer);

    RowActions row_actions(int index) const;
    ModelSnapshot snapshot() const;
    // The list's rows alone: what a window refreshes when a status or a session count changes,
    // without copying every record under the lock the engine's reports wait for.
    std::vector<ListRow> list_rows() const;
    // The trigger table alone, for the triggers window.
    TriggerTable triggers() const;

    // The web interface names mappings instead of rows. These act on the first mapping named
    // exactly `name`, found under the same lock as the change, so a row that moved meanwhile is
    // never taken for it; otherwise they behave as the commands above.
    std::optional<std::string> edit_mapping_named(std::string_view name,
                                                  const PortMapping& mapping);
    std::optional<std::string> delete_mapping_named(std::string_view name);
    std::optional<std::string> start_mapping_named(std::string_view name);
    std::optional<std::string> stop_mapping_named(std::string_view name);
    AppSettings settings() const;
    std::vector<SessionView> sessions() const { return engine_->sessions(); }

    const std::string& program_dir() const { return program_dir_; }
    std::string config_path() const { return program_dir_ + "config.xml"; }

private:
    struct RowState {
        std::string status{kStatusStop};
        int sessions = 0;
    };

    // EngineEvents, called from engine threads.
    void on_mapping_status(int table_index, std::string_view name,
                           std::string_view status) override;
    void on_mapping_stopped(std::string_view name) override;
    void on_session_count(std::string_view name, int count) override;
    void show_message(std::string_view text) override;
    void play_alert(std::string_view path) override;

    // The commands on a row found under the lock; `index` may be -1 (no such mapping).
    std::optional<std::string> edit_row(int index, const PortMapping& mapping);  // lock held
    std::optional<std::string> delete_row(int index);                            // lock held
    std::optional<std::string> start_row(int index);                             // lock held
    // Runs `body` under the lock, then tells the observer.
    template <typename Body>
    std::optional<std::string> command(Body body);
    // Stops the row `find_row` finds under the lock (-1: none), unless it shows "stop".
    std::optional<std::string> stop_row(const std::function<int()>& find_row);
    void apply_settings();  // lock held; hands the engine its part of settings_
    void tell_observer();   // lock not held
    // Writes config.xml, first keeping an unreadable one as config.xml.invalid; 0 or errno.
    int write_files();  // lock held
    // write_files for a command: the message when the change could not be written.
    std::optional<std::string> persist();  // lock held

    std::vector<ListRow> rows_locked() const;                  // lock held
    bool valid_row(int index) const;                           // lock held
    bool stopped(int index) const;                             // lock held
    int row_of(int table_index, std::string_view name) const;  // lock held; -1 if none
    PortTrigger* find_trigger(std::string_view name);          // lock held; null if none
    void set_trigger_status(std::string_view name, std::string_view status);  // lock held
    // The trigger threads' report: the status, then the observer.
    void on_trigger_status(std::string_view name, std::string_view status);  // lock not held

    const std::string program_dir_;
    MessageSink& sink_;
    AlertSound& alert_;

    mutable std::mutex lock_;  // guards everything below
    AppSettings settings_;
    MappingTable mappings_;
    std::vector<RowState> rows_;
    TriggerTable triggers_;
    bool load_failed_ = false;
    bool triggers_read_ = false;  // every triggering entry of config.xml was read
    std::atomic<ModelObserver*> observer_{nullptr};
    mutable std::condition_variable status_changed_;  // a row's status changed

    // Reports into triggers_ from its threads; destroyed before the tables.
    std::unique_ptr<TriggerRunner> trigger_runner_;
    // Last member: destroyed first, so engine threads end before the tables go.
    std::unique_ptr<Engine> engine_;
};

}  // namespace zk
