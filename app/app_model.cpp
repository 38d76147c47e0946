#include "app/app_model.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/config_file.h"
#include "core/validation.h"
#include "engine/event_log.h"

namespace zk {

AppModel::AppModel(std::string program_dir, MessageSink& sink, AlertSound& alert,
                   EngineTimings timings, TriggerLimits trigger_limits, ThreadStarter start_thread)
    : program_dir_(std::move(program_dir)),
      sink_(sink),
      alert_(alert),
      trigger_runner_(std::make_unique<TriggerRunner>(
          [this](std::string_view name, std::string_view status) {
              on_trigger_status(name, status);
          },
          trigger_limits)),
      engine_(std::make_unique<Engine>(program_dir_, static_cast<EngineEvents&>(*this), timings,
                                       Resolver{}, std::move(start_thread))) {}

AppModel::~AppModel() = default;

void AppModel::load_files() {
    const std::string path = config_path();
    std::lock_guard guard(lock_);
    settings_ = AppSettings{};
    mappings_.clear();
    const bool settings_read = load_configuration(path, settings_, mappings_, sink_);
    rows_.assign(mappings_.size(), RowState{});
    triggers_read_ = load_triggers(path, triggers_, sink_);
    load_failed_ = !settings_read || !triggers_read_;
    apply_settings();
}

void AppModel::apply_settings() {
    engine_->set_voice_notify(text_to_int(settings_.voice_notify) == 1);
    engine_->set_use_system_proxy(text_to_int(settings_.use_ie_setting) == 1);
}

void AppModel::start_up() {
    event_log_open(program_dir_ + "log/zk-gate.log");
    remove_stale_temporary(config_path());
    load_files();
    std::vector<std::string> failures;
    {
        std::lock_guard guard(lock_);
        for (std::size_t i = 0; i < mappings_.size(); ++i) {
            if (!is_yes(mappings_[i].auto_start)) continue;
            if (auto error = start_row(static_cast<int>(i))) failures.push_back(std::move(*error));
        }
        // A faulty triggering entry means the table is not what the user wrote: start none.
        if (triggers_read_) trigger_runner_->start_triggers(triggers_);
    }
    for (const std::string& failure : failures)
        show_message(failure);
}

bool AppModel::wait_for_starts(std::chrono::milliseconds limit) const {
    std::unique_lock guard(lock_);
    return status_changed_.wait_for(guard, limit, [this] {
        return std::none_of(rows_.begin(), rows_.end(),
                            [](const RowState& r) { return r.status == kStatusStarting; });
    });
}

int AppModel::save_configuration() {
    // At exit every descriptor may be taken, and the one the exit path frees can go to a listener
    // that is shedding clients it cannot serve; the listener closes it again at once, so a save
    // that found none tries again for a second.
    constexpr int kAttempts = 50;
    for (int attempt = 1;; ++attempt) {
        int error = 0;
        {
            std::lock_guard guard(lock_);
            error = write_files();
        }
        if ((error != EMFILE && error != ENFILE) || attempt == kAttempts) return error;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<std::string> AppModel::add_mapping(const PortMapping& mapping) {
    return command([&]() -> std::optional<std::string> {
        if (auto error = validate_mapping(mapping, mappings_, EditKind::add)) return error;
        mappings_.push_back(mapping);
        rows_.push_back(RowState{});
        return persist();
    });
}

std::optional<std::string> AppModel::edit_mapping(int index, const PortMapping& mapping) {
    return command([&] { return edit_row(valid_row(index) ? index : -1, mapping); });
}

std::optional<std::string> AppModel::delete_mapping(int index) {
    return command([&] { return delete_row(valid_row(index) ? index : -1); });
}

std::optional<std::string> AppModel::start_mapping(int index) {
    return command([&] { return start_row(valid_row(index) ? index : -1); });
}

std::optional<std::string> AppModel::stop_mapping(int index) {
    return stop_row([&] { return valid_row(index) ? index : -1; });
}

std::optional<std::string> AppModel::change_settings(const AppSettings& settings) {
    return command([&] {
        settings_ = settings;
        apply_settings();
        return persist();
    });
}

std::optional<std::string> AppModel::add_trigger(const PortTrigger& trigger) {
    return command([&]() -> std::optional<std::string> {
        if (auto error = validate_trigger(trigger, triggers_, {})) return error;
        triggers_.push_back(trigger);
        triggers_.back().status = kTriggerStopped;
        return persist();
    });
}

std::optional<std::string> AppModel::edit_trigger(std::string_view name,
                                                  const PortTrigger& trigger) {
    return command([&]() -> std::optional<std::string> {
        PortTrigger* entry = find_trigger(name);
        if (entry == nullptr) return "no such port trigger";
        if (entry->status != kTriggerStopped) return "stop the port trigger before editing it";
        if (auto error = validate_trigger(trigger, triggers_, name)) return error;
        *entry = trigger;
        entry->status = kTriggerStopped;
        return persist();
    });
}

std::optional<std::string> AppModel::delete_trigger(std::string_view name) {
    return command([&]() -> std::optional<std::string> {
        PortTrigger* entry = find_trigger(name);
        if (entry == nullptr) return "no such port trigger";
        if (entry->status != kTriggerStopped) return "stop the port trigger before deleting it";
        triggers_.erase(triggers_.begin() + (entry - triggers_.data()));
        return persist();
    });
}

std::optional<std::string> AppModel::start_trigger(std::string_view name) {
    return command([&]() -> std::optional<std::string> {
        PortTrigger* entry = find_trigger(name);
        if (entry == nullptr) return "no such port trigger";
        if (entry->status == kTriggerRunning) return "the port trigger is running already";
        trigger_runner_->start_trigger(*entry);
        return std::nullopt;
    });
}

std::optional<std::string> AppModel::stop_trigger(std::string_view name) {
    return command([&]() -> std::optional<std::string> {
        if (find_trigger(name) == nullptr) return "no such port trigger";
        // With no thread left (a range ending below its start) nothing else would report "stop".
        if (!trigger_runner_->stop_trigger(name)) set_trigger_status(name, kTriggerStopped);
        return std::nullopt;
    });
}

RowActions AppModel::row_actions(int index) const {
    std::lock_guard guard(lock_);
    if (!valid_row(index)) return {};
    const bool idle = stopped(index);
    return {idle, !idle, idle, idle, is_set(mappings_[index].enable_log)};
}

ModelSnapshot AppModel::snapshot() const {
    std::lock_guard guard(lock_);
    return {settings_, mappings_, rows_locked(), triggers_};
}

std::vector<ListRow> AppModel::list_rows() const {
    std::lock_guard guard(lock_);
    return rows_locked();
}

TriggerTable AppModel::triggers() const {
    std::lock_guard guard(lock_);
    return triggers_;
}

std::vector<ListRow> AppModel::rows_locked() const {
    std::vector<ListRow> rows;
    rows.reserve(mappings_.size());
    for (std::size_t i = 0; i < mappings_.size(); ++i)
        rows.push_back(list_row(mappings_[i], rows_[i].status, rows_[i].sessions));
    return rows;
}

std::optional<std::string> AppModel::edit_mapping_named(std::string_view name,
                                                        const PortMapping& mapping) {
    return command([&] { return edit_row(find_mapping(mappings_, name), mapping); });
}

std::optional<std::string> AppModel::delete_mapping_named(std::string_view name) {
    return command([&] { return delete_row(find_mapping(mappings_, name)); });
}

std::optional<std::string> AppModel::start_mapping_named(std::string_view name) {
    return command([&] { return start_row(find_mapping(mappings_, name)); });
}

std::optional<std::string> AppModel::stop_mapping_named(std::string_view name) {
    return stop_row([&] { return find_mapping(mappings_, name); });
}

template <typename Body>
std::optional<std::string> AppModel::command(Body body) {
    std::optional<std::string> result;
    {
        std::lock_guard guard(lock_);
        result = body();
    }
    tell_observer();
    return result;
}

std::optional<std::string> AppModel::stop_row(const std::function<int()>& find_row) {
    PortMapping mapping;
    int index = -1;
    {
        std::lock_guard guard(lock_);
        index = find_row();
        if (index < 0) return "no such port mapping";
        if (stopped(index)) return std::nullopt;  // nothing runs: nothing to do
        mapping = mappings_[index];
    }
    // Not under the lock: the stop holds for seconds and reports back into this model.
    engine_->stop_mapping(mapping, index);
    return std::nullopt;
}

void AppModel::set_observer(ModelObserver* observer) {
    observer_ = observer;
}

void AppModel::tell_observer() {
    if (ModelObserver* observer = observer_.load()) observer->rows_changed();
}

std::optional<std::string> AppModel::edit_row(int index, const PortMapping& mapping) {
    if (index < 0) return "no such port mapping";
    if (!stopped(index)) return "stop the port mapping before editing it";
    if (auto error = validate_mapping(mapping, mappings_, EditKind::edit)) return error;
    mappings_[index] = mapping;
    rows_[index] = RowState{};
    return persist();
}

std::optional<std::string> AppModel::delete_row(int index) {
    if (index < 0) return "no such port mapping";
    if (!stopped(index)) return "stop the port mapping before deleting it";
    mappings_.erase(mappings_.begin() + index);
    rows_.erase(rows_.begin() + index);
    return persist();
}

std::optional<std::string> AppModel::start_row(int index) {
    if (index < 0) return "no such port mapping";
    if (!stopped(index)) return "the port mapping is running already";
    const StartResult result = engine_->start_mapping(mappings_[index], index);
    // Started copies report "running" themselves once this lock is released.
    if (result.copies_started > 0) rows_[index].status = kStatusStarting;
    return result.error;
}

int AppModel::write_files() {
    const std::string path = config_path();
    if (load_failed_ && ::access(path.c_str(), F_OK) == 0) {
        if (::rename(path.c_str(), (path + ".invalid").c_str()) != 0) return errno;
        load_failed_ = false;
    }
    return zk::save_configuration(path, settings_, mappings_, triggers_);
}

std::optional<std::string> AppModel::persist() {
    if (const int error = write_files()) {
        return "the change is made but cannot be written to " + config_path() + ": " +
               std::strerror(error);
    }
    return std::nullopt;
}

AppSettings AppModel::settings() const {
    std::lock_guard guard(lock_);
    return settings_;
}

bool AppModel::valid_row(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < mappings_.size();
}

bool AppModel::stopped(int index) const {
    return rows_[index].status == kStatusStop;
}

int AppModel::row_of(int table_index, std::string_view name) const {
    // Rows may have moved since the start (a delete above them): trust the name.
    if (valid_row(table_index) && mappings_[table_index].name == name) return table_index;
    return find_mapping(mappings_, name);
}

PortTrigger* AppModel::find_trigger(std::string_view name) {
    for (PortTrigger& entry : triggers_) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

void AppModel::set_trigger_status(std::string_view name, std::string_view status) {
    for (PortTrigger& entry : triggers_) {
        if (entry.name == name) entry.status = status;
    }
}

void AppModel::on_trigger_status(std::string_view name, std::string_view status) {
    {
        std::lock_guard guard(lock_);
        set_trigger_status(name, status);
    }
    tell_observer();
}

void AppModel::on_mapping_status(int table_index, std::string_view name, std::string_view status) {
    {
        std::lock_guard guard(lock_);
        if (const int row = row_of(table_index, name); row >= 0) rows_[row].status = status;
    }
    status_changed_.notify_all();
    tell_observer();
}

void AppModel::on_mapping_stopped(std::string_view name) {
    {
        std::lock_guard guard(lock_);
        for (std::size_t i = 0; i < mappings_.size(); ++i) {
            if (mappings_[i].name == name) rows_[i] = RowState{};
        }
    }
    status_changed_.notify_all();
    tell_observer();
}

void AppModel::on_session_count(std::string_view name, int count) {
    {
        std::lock_guard guard(lock_);
        if (const int row = find_mapping(mappings_, name); row >= 0) rows_[row].sessions = count;
    }
    tell_observer();
}

void AppModel::show_message(std::string_view text) {
    sink_.show_message(text, "ERROR!", MessageIcon::error);
}

void AppModel::play_alert(std::string_view path) {
    alert_.play(path);
}

}  // namespace zk
