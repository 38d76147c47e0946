#pragma once
// Messages for the user as Qt message boxes. A message from the UI thread (a dialog's input
// error) is shown at once and waits for the user; one from an engine or command thread is
// queued to the UI thread. A flood of engine messages (a range of ports that cannot listen)
// would bury the desktop in boxes: past a few waiting ones, the rest go to the event log only.

#include <QObject>
#include <atomic>

#include "core/message_sink.h"

namespace zk {

class QtMessageSink final : public QObject, public MessageSink {
    Q_OBJECT
public:
    using QObject::QObject;

    // Any thread. An empty title becomes "Zelkora".
    void show_message(std::string_view text, std::string_view title, MessageIcon icon) override;

private:
    static constexpr int kMostWaiting = 4;
    std::atomic<int> waiting_{0};  // boxes queued or open from other threads
};

}  // namespace zk
