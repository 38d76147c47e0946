#pragma once
// One running copy per program directory, shared with zelkorad through the directory's lock:
// two programs on one config.xml would undo each other's changes. The desktop program also
// listens on a local socket in the directory, so a second start can bring its window forward
// instead of starting again.
//
// UI thread only.

#include <QLocalServer>
#include <QObject>
#include <memory>
#include <string>

#include "platform/instance_lock.h"

namespace zk {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        first,          // this process runs the directory
        raised,         // a running zelkora was asked to show its window
        held_by_other,  // another program (zelkorad) holds the directory
        failed,         // the lock file cannot be made; error() says why
    };

    explicit SingleInstance(const std::string& program_dir, QObject* parent = nullptr);

    Outcome outcome() const { return outcome_; }
    int error() const { return lock_.error(); }

    // The socket's path in `program_dir`.
    static QString socket_path(const std::string& program_dir);

signals:
    // A second start asked for the window.
    void raise_requested();

private:
    void listen(const QString& path);

    InstanceLock lock_;
    Outcome outcome_ = Outcome::failed;
    QLocalServer server_;
};

}  // namespace zk
