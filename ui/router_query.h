#pragma once
// The router management command off the UI thread: one search, description and listing at a
// time on a worker thread, its report handed back to the UI thread.
//
// Threading: construct, start, cancel and destroy on the UI thread; `finished` is emitted on the
// UI thread. The worker only runs run_router_command and posts its report.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "upnp/router_report.h"

namespace zk {

class RouterQuery final : public QObject {
    Q_OBJECT
public:
    explicit RouterQuery(QObject* parent = nullptr);
    // A worker still searching is not waited for: it is handed to a small process-wide holder
    // and ends within its UpnpOptions limits, its report dropped. Only when that holder is full
    // (a few abandoned searches at once) does this wait for the worker.
    ~RouterQuery() override;
    RouterQuery(const RouterQuery&) = delete;
    RouterQuery& operator=(const RouterQuery&) = delete;

    // Starts the command with `options`. Refused (false, nothing started) while a query whose
    // report is still awaited runs; a cancelled one no longer counts.
    bool start(const UpnpOptions& options);
    // Drops the running query's report: `finished` is not emitted for it.
    void cancel();
    // True from start until `finished` or cancel.
    bool running() const { return awaited_; }

signals:
    void finished(const zk::RouterReport& report);

private:
    // What the workers and this object share; a worker posts only while its owner is set.
    struct Link;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void deliver(std::uint64_t query, const RouterReport& report);
    // Joins a worker that has ended, or hands one still running to the holder.
    void release_worker();

    std::shared_ptr<Link> link_;
    Worker worker_;
    std::uint64_t query_ = 0;  // number of the latest start; older reports are dropped
    bool awaited_ = false;
};

}  // namespace zk
