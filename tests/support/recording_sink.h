#pragma once
// Records the messages a component shows, for tests to read.

#include <mutex>
#include <string>
#include <vector>

#include "core/message_sink.h"

namespace zk::test {

class RecordingSink : public MessageSink {
public:
    void show_message(std::string_view text, std::string_view title, MessageIcon) override {
        std::lock_guard guard(lock_);
        messages_.emplace_back(text);
        titles_.emplace_back(title);
    }
    std::vector<std::string> messages() const {
        std::lock_guard guard(lock_);
        return messages_;
    }
    std::vector<std::string> titles() const {
        std::lock_guard guard(lock_);
        return titles_;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> messages_;
    std::vector<std::string> titles_;
};

}  // namespace zk::test
