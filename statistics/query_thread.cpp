#include "query_thread.h"

#include "engine/background_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace brennix {

struct TQueryThread::TShared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<TJob> jobs;
    bool stopping = false, finished = false;
    report::TQueryStop stop;
};

TQueryThread::TQueryThread() : shared_(std::make_shared<TShared>()) {
    std::thread([shared = shared_] {
        RunInBackground();
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->changed.wait(lock, [&] { return shared->stopping || !shared->jobs.empty(); });
            if (shared->stopping) break;
            TJob job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
            lock.unlock();
            job(shared->stop);
            job = nullptr; // what it holds goes on this thread, before the next one
            lock.lock();
        }
        shared->finished = true;
        shared->changed.notify_all();
    }).detach();
}

TQueryThread::~TQueryThread() {
    std::unique_lock lock(shared_->mutex);
    shared_->stopping = true;
    shared_->jobs.clear();
    shared_->stop.Raise();
    shared_->changed.notify_all();
    shared_->changed.wait_for(lock, QuitWait, [&] { return shared_->finished; });
}

void TQueryThread::Post(TJob job) {
    const std::lock_guard lock(shared_->mutex);
    shared_->jobs.push_back(std::move(job));
    shared_->changed.notify_all();
}

} // namespace brennix
