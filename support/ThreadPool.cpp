#include "support/ThreadPool.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "logging/Log.h"

#include <deque>
#include <utility>
#include <vector>

namespace mstd {
namespace {

MLOG_DEFINE_PARTICIPANT(poolLog, "thread_pool")

}  // namespace

struct thread_pool::impl {
  std::vector<boost::thread> workers;
  boost::mutex mutex;
  boost::condition_variable wake;
  std::deque<std::function<void()>> queue;
  bool stop = false;
  boost::chrono::milliseconds joinTimeout{default_join_timeout_ms};

  static void work(const std::shared_ptr<impl>& self);
};

void thread_pool::impl::work(const std::shared_ptr<impl>& self) {
  boost::unique_lock<boost::mutex> lock(self->mutex);
  try {
    while (!self->stop) {
      if (boost::this_thread::interruption_requested()) break;
      // Always wait first: a job posted while another ran is seen after the next wake or timeout.
      self->wake.wait_for(lock, boost::chrono::milliseconds(100));
      if (self->queue.empty()) continue;
      std::function<void()> job = std::move(self->queue.front());
      self->queue.pop_front();
      lock.unlock();
      try {
        job();
      } catch (const boost::thread_interrupted&) {
        job = nullptr;
        lock.lock();
        break;
      } catch (...) {
        MLOG(poolLog(), mlog::Level::Debug) << "a job ended with an exception";
      }
      // Destroyed before relocking, so a job whose destruction posts cannot deadlock.
      job = nullptr;
      lock.lock();
    }
  } catch (const boost::thread_interrupted&) {
    // Interrupted while waiting: the lock is held again on the way out.
  }
}

thread_pool::thread_pool() : thread_pool(boost::chrono::milliseconds(default_join_timeout_ms)) {}

thread_pool::thread_pool(boost::chrono::milliseconds joinTimeout) : impl_(std::make_shared<impl>()) {
  impl_->joinTimeout = joinTimeout;
  std::shared_ptr<impl> self = impl_;
  impl_->workers.emplace_back([self] { impl::work(self); });
}

thread_pool::~thread_pool() {
  {
    boost::lock_guard<boost::mutex> guard(impl_->mutex);
    impl_->stop = true;
  }
  impl_->wake.notify_all();
  for (boost::thread& worker : impl_->workers) {
    // Destroyed by one of its own jobs: the worker cannot wait for itself; it stops after the job.
    if (worker.get_id() == boost::this_thread::get_id()) {
      worker.detach();
      continue;
    }
    if (worker.try_join_for(impl_->joinTimeout)) continue;
    worker.interrupt();
    if (!worker.try_join_for(boost::chrono::milliseconds(100))) worker.detach();
  }
  std::deque<std::function<void()>> left;
  {
    boost::lock_guard<boost::mutex> guard(impl_->mutex);
    left.swap(impl_->queue);
  }
}

void thread_pool::post(std::function<void()> job) {
  {
    boost::lock_guard<boost::mutex> guard(impl_->mutex);
    impl_->queue.push_back(std::move(job));
  }
  impl_->wake.notify_one();
}

}  // namespace mstd
