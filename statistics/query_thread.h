// A thread of its own for the players' statistics, so that the window never waits on a history
// or a club server: the jobs run one after the other, each with the stop that ends its query.
// Destroying it stops the query under way and waits for it at most QuitWait. No Qt.
#pragma once

#include "report/history_report.h"

#include <chrono>
#include <functional>
#include <memory>

namespace brennix {

class TQueryThread {
  public:
    using TJob = std::function<void(const report::TQueryStop& stop)>;

    // The longest a quitting program waits for a query to end.
    static constexpr std::chrono::milliseconds QuitWait{2000};

    TQueryThread();
    // Drops the jobs not begun, stops the one under way; a job that does not end within QuitWait
    // is left to finish on its own (it holds what it needs).
    ~TQueryThread();
    TQueryThread(const TQueryThread&) = delete;
    TQueryThread& operator=(const TQueryThread&) = delete;

    // Runs the job after the ones posted before it.
    void Post(TJob job);

  private:
    struct TShared;
    std::shared_ptr<TShared> shared_;
};

} // namespace brennix
