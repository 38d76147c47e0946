#pragma once
// Records what the engine reports, for tests to wait on and read.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_events.h"

namespace zk::test {

class RecordingEvents : public EngineEvents {
public:
    void on_mapping_status(int, std::string_view name, std::string_view status) override {
        std::lock_guard guard(lock_);
        status_[std::string(name)] = status;
    }
    void on_mapping_stopped(std::string_view name) override {
        std::lock_guard guard(lock_);
        status_[std::string(name)] = "stop";
        counts_[std::string(name)] = 0;
        ++stopped_[std::string(name)];
    }
    void on_session_count(std::string_view name, int count) override {
        std::lock_guard guard(lock_);
        counts_[std::string(name)] = count;
    }
    void show_message(std::string_view text) override {
        std::lock_guard guard(lock_);
        messages_.emplace_back(text);
    }
    void play_alert(std::string_view path) override {
        std::lock_guard guard(lock_);
        alerts_.emplace_back(path);
    }

    std::string status(const std::string& name) const {
        std::lock_guard guard(lock_);
        const auto it = status_.find(name);
        return it == status_.end() ? "" : it->second;
    }
    int count(const std::string& name) const {
        std::lock_guard guard(lock_);
        const auto it = counts_.find(name);
        return it == counts_.end() ? 0 : it->second;
    }
    int stopped(const std::string& name) const {
        std::lock_guard guard(lock_);
        const auto it = stopped_.find(name);
        return it == stopped_.end() ? 0 : it->second;
    }
    std::vector<std::string> messages() const {
        std::lock_guard guard(lock_);
        return messages_;
    }
    std::vector<std::string> alerts() const {
        std::lock_guard guard(lock_);
        return alerts_;
    }

private:
    mutable std::mutex lock_;
    std::map<std::string, std::string> status_;
    std::map<std::string, int> counts_;
    std::map<std::string, int> stopped_;
    std::vector<std::string> messages_;
    std::vector<std::string> alerts_;
};

}  // namespace zk::test
