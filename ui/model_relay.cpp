#include "ui/model_relay.h"

namespace zk {

void ModelRelay::rows_changed() {
    if (queued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Cleared first: a report arriving during the refresh queues the next one.
            queued_ = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

}  // namespace zk
