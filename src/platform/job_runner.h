#pragma once

#include "platform/job_control.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarvex {

// A stream of jobs of one kind of which only the newest result is wanted (the spreadsheet being
// previewed, the picture the slideshow shows next). Starting a job on a lane stops the one before
// it; the lane's generation tells a result still wanted from a stale one. Used on the window's
// thread only; it must outlive the runner that runs its jobs.
class JobLane {
 public:
  std::uint64_t generation() const { return generation_; }
  // A job of the lane is under way and its result is still wanted.
  bool busy() const { return current_ != nullptr; }
  // Asks the job under way to end early; what it returns then is still handed over (a search
  // the user cancelled shows what it found so far).
  void stop() {
    if (current_) current_->stop();
  }
  // Stops the job under way; its result will be dropped.
  void cancel() {
    if (current_) current_->stop();
    current_.reset();
    ++generation_;
  }

 private:
  friend class JobRunner;
  std::uint64_t generation_ = 0;
  std::shared_ptr<JobControl> current_;
};

// The one way work leaves the window's thread. A job is a plain function of its JobControl that
// runs on a thread of its own; its result comes back to the window's thread by a queued call, and
// is handed over only while the job is still its lane's newest. Nothing but the result crosses:
// a job that throws hands over no result (std::nullopt). The window never waits for a job; only
// the runner's destruction stops the jobs still running and waits for them to end.
class JobRunner final : public QObject {
  Q_OBJECT

 public:
  explicit JobRunner(QObject* parent = nullptr);
  ~JobRunner() override;
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // Starts `work(control)` on its own thread as the lane's newest job, stopping the one before.
  // `deliver` gets, on the window's thread, the result (std::nullopt when the work threw) unless
  // the lane has moved on by then. Returns the job's generation.
  template <class Work, class Deliver>
  std::uint64_t start(JobLane& lane, Work work, Deliver deliver) {
    using Result = std::invoke_result_t<Work&, const JobControl&>;
    lane.cancel();
    auto control = std::make_shared<JobControl>(lane.generation_);
    lane.current_ = control;
    JobLane* const target = &lane;
    launch(control,
           [control, target, work = std::move(work),
            deliver = std::move(deliver)]() mutable -> std::function<void()> {
             std::optional<Result> result;
             try {
               result.emplace(work(std::as_const(*control)));
             } catch (...) {
               result.reset();
             }
             return [control, target, deliver = std::move(deliver),
                     result = std::move(result)]() mutable {
               if (target->current_ != control) return;  // stale: the lane has moved on
               target->current_.reset();
               deliver(std::move(result));
             };
           });
    return control->generation();
  }

  // A wake-up that core work may call on any thread: each call queues `on_window` on the
  // window's thread, where calls made while one is still queued fold into it. The returned
  // function must not be called after the runner is destroyed.
  std::function<void()> waker(std::function<void()> on_window);

  // Jobs whose thread has not yet been joined (tests check that none is left behind).
  std::size_t threads() const { return workers_.size(); }

 private:
  // Runs `body` on a new thread and queues the delivery it returns.
  void launch(std::shared_ptr<JobControl> control, std::function<std::function<void()>()> body);
  // On any thread: queues `delivery` for the window's thread.
  void post(std::function<void()> delivery);
  // On the window's thread: hands over what is queued, then joins the threads that have ended.
  Q_INVOKABLE void drain();

  struct Worker {
    std::thread thread;
    std::shared_ptr<JobControl> control;
    std::shared_ptr<std::atomic<bool>> ended;
  };
  std::vector<Worker> workers_;  // window's thread only

  std::mutex mailbox_mutex_;
  std::vector<std::function<void()>> mailbox_;  // under mailbox_mutex_
  bool drain_queued_ = false;                   // under mailbox_mutex_
};

}  // namespace tarvex
