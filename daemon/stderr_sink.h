#pragma once
// The daemon has no windows: messages for the user go to stderr and, once it is open, to the
// event log. Callable from any thread (each message is one write on each side).

#include <atomic>
#include <cstdio>
#include <string>

#include "core/message_sink.h"
#include "engine/event_log.h"

namespace zk {

class StderrSink : public MessageSink {
public:
    explicit StderrSink(bool to_event_log) : to_event_log_(to_event_log) {}

    void show_message(std::string_view text, std::string_view, MessageIcon) override {
        const std::string line = "zelkorad: " + std::string(text) + "\n";
        std::fputs(line.c_str(), stderr);
        if (to_event_log_) log_event("%.*s\n", static_cast<int>(text.size()), text.data());
        ++count_;
    }

    int count() const { return count_.load(); }

private:
    const bool to_event_log_;
    std::atomic<int> count_{0};
};

}  // namespace zk
