#pragma once
// Where messages for the user go: a box in the desktop program, stderr and the event log in the
// daemon, a recorder in tests. Implementations say from which threads they may be called.

#include <string_view>

namespace zk {

enum class MessageIcon { error, warning, information, none };  // none: a plain box

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show_message(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

}  // namespace zk
