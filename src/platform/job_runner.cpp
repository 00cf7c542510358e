#include "platform/job_runner.h"

#include <QMetaObject>

namespace tarvex {

JobRunner::JobRunner(QObject* parent) : QObject(parent) {}

JobRunner::~JobRunner() {
  for (Worker& w : workers_) w.control->stop();
  for (Worker& w : workers_) w.thread.join();
  // What they queued is dropped with the mailbox; the queued call dies with this object.
}

void JobRunner::launch(std::shared_ptr<JobControl> control,
                       std::function<std::function<void()>()> body) {
  auto ended = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, body = std::move(body), ended]() mutable {
    std::function<void()> delivery = body();
    body = nullptr;  // what the work held goes here, on its own thread
    // From here on the thread only queues its delivery and returns: joining it waits on nothing.
    ended->store(true, std::memory_order_release);
    post(std::move(delivery));
  });
  workers_.push_back(Worker{std::move(thread), std::move(control), std::move(ended)});
}

void JobRunner::post(std::function<void()> delivery) {
  bool queue_call = false;
  {
    const std::lock_guard lock(mailbox_mutex_);
    mailbox_.push_back(std::move(delivery));
    queue_call = !drain_queued_;
    drain_queued_ = true;
  }
  // The call carries nothing of ours: the deliveries cross under the mailbox's mutex, which a
  // thread checker sees, rather than inside Qt's event queue, which it does not.
  if (queue_call) QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void JobRunner::drain() {
  std::vector<std::function<void()>> deliveries;
  {
    const std::lock_guard lock(mailbox_mutex_);
    deliveries.swap(mailbox_);
    drain_queued_ = false;
  }
  for (auto& delivery : deliveries) delivery();
  // A thread whose flag is up has done its work and at most queues its delivery.
  std::erase_if(workers_, [](Worker& w) {
    if (!w.ended->load(std::memory_order_acquire)) return false;
    w.thread.join();
    return true;
  });
}

std::function<void()> JobRunner::waker(std::function<void()> on_window) {
  auto queued = std::make_shared<std::atomic<bool>>(false);
  auto action = std::make_shared<std::function<void()>>(std::move(on_window));
  return [this, queued, action] {
    if (queued->exchange(true)) return;
    post([queued, action] {
      queued->store(false);
      (*action)();
    });
  };
}

}  // namespace tarvex
