#include "ui/router_query.h"

#include <mutex>
#include <utility>
#include <vector>

namespace zk {
namespace {

// Workers whose query was dropped while their search went on. Each ends within its UpnpOptions
// limits; past a few of them, releasing one waits for it instead, so their number stays bounded.
class LeftoverWorkers {
public:
    ~LeftoverWorkers() {
        for (auto& [thread, done] : workers_)
            thread.join();
    }

    void adopt(std::thread thread, std::shared_ptr<std::atomic<bool>> done) {
        {
            std::lock_guard guard(mutex_);
            std::erase_if(workers_, [](auto& worker) {
                if (!*worker.second) return false;
                worker.first.join();
                return true;
            });
            if (workers_.size() < kMost) {
                workers_.emplace_back(std::move(thread), std::move(done));
                return;
            }
        }
        thread.join();
    }

private:
    static constexpr std::size_t kMost = 4;
    std::mutex mutex_;
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> workers_;
};

LeftoverWorkers& leftover_workers() {
    static LeftoverWorkers workers;
    return workers;
}

}  // namespace

struct RouterQuery::Link {
    std::mutex mutex;
    RouterQuery* owner = nullptr;  // guarded by mutex; cleared by the destructor
};

RouterQuery::RouterQuery(QObject* parent) : QObject(parent), link_(std::make_shared<Link>()) {
    link_->owner = this;
}

RouterQuery::~RouterQuery() {
    {
        // A report posted before this point is removed with this object's pending events.
        std::lock_guard guard(link_->mutex);
        link_->owner = nullptr;
    }
    release_worker();
}

bool RouterQuery::start(const UpnpOptions& options) {
    if (awaited_) return false;
    release_worker();
    awaited_ = true;
    const std::uint64_t query = ++query_;
    worker_.done = std::make_shared<std::atomic<bool>>(false);
    worker_.thread = std::thread([link = link_, done = worker_.done, options, query] {
        const RouterReport report = run_router_command(options);
        {
            std::lock_guard guard(link->mutex);
            if (RouterQuery* owner = link->owner) {
                QMetaObject::invokeMethod(
                    owner, [owner, query, report] { owner->deliver(query, report); },
                    Qt::QueuedConnection);
            }
        }
        *done = true;
    });
    return true;
}

void RouterQuery::cancel() {
    awaited_ = false;
}

void RouterQuery::deliver(std::uint64_t query, const RouterReport& report) {
    if (!awaited_ || query != query_) return;
    awaited_ = false;
    emit finished(report);
}

void RouterQuery::release_worker() {
    if (!worker_.thread.joinable()) return;
    if (*worker_.done) {
        worker_.thread.join();
    } else {
        leftover_workers().adopt(std::move(worker_.thread), std::move(worker_.done));
    }
    worker_ = {};
}

}  // namespace zk
