#pragma once
// Carries the model's change reports to the UI thread. rows_changed() arrives on engine and
// command threads; it only queues one call to this object's thread, and reports that arrive
// while one is queued are folded into it, so a burst of session counts costs one refresh.

#include <QObject>
#include <atomic>

#include "app/app_model.h"

namespace zk {

class ModelRelay final : public QObject, public ModelObserver {
    Q_OBJECT
public:
    using QObject::QObject;

    // Any thread; never touches a widget.
    void rows_changed() override;

signals:
    // On the thread this object lives in (the UI thread).
    void changed();

private:
    std::atomic<bool> queued_{false};
};

}  // namespace zk
