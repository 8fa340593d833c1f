#include "net/AsyncHTTP.h"

#include "base/Exception.h"
#include "logging/Log.h"
#include "net/Logs.h"
#include "net/RetryPolicy.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace mnet {

int completionCode(CURLcode result, long status) {
  if (result == CURLE_OK && status == 200) return 0;
  if (status != 0 && status != 200) return static_cast<int>(status);
  return 600 + static_cast<int>(result);
}

namespace {

// Exceptions of a task (an empty dispatcher) must not take the engine down.
template <class F>
void guarded(const char* what, F&& f) {
  try {
    f();
  } catch (const boost::exception& e) {
    MLOG(httpLog(), mlog::Error) << what << " failed: " << e;
  } catch (const std::exception& e) {
    MLOG(httpLog(), mlog::Error) << what << " failed: " << e.what();
  }
}

}  // namespace

struct AsyncHTTP::Impl {
  std::mutex mutex;
  std::vector<AsyncTaskPtr> pending;
  // Queued before the last cancelAll and not yet in the engine: they end unstarted.
  std::vector<AsyncTaskPtr> cancelledPending;
  std::atomic<int> cancelFlag{0};
  std::atomic<bool> stopping{false};
  std::thread thread;

  void run();
  void pass(CURLM* multi, std::vector<AsyncTaskPtr>& active);
};

void AsyncHTTP::Impl::run() {
  MLOG(httpLog(), mlog::Debug) << "curl version: " << curl_version();
  MultiHandle multi(curl_multi_init());
  std::vector<AsyncTaskPtr> active;
  // A pass waits at most 10 ms, so the destructor's stop is seen that soon.
  while (!stopping.load()) pass(multi.get(), active);
  // Tasks leave the multi handle in their destructors, before it is cleaned up.
  active.clear();
}

void AsyncHTTP::Impl::pass(CURLM* multi, std::vector<AsyncTaskPtr>& active) {
  // A cancel ends the tasks queued before it, never one queued after it returned.
  std::vector<AsyncTaskPtr> cancelled;
  size_t firstNew = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    int expected = 1;
    if (cancelFlag.compare_exchange_strong(expected, 0)) {
      cancelled.swap(active);
      cancelled.insert(cancelled.end(), cancelledPending.begin(), cancelledPending.end());
      cancelledPending.clear();
    }
    firstNew = active.size();
    active.insert(active.end(), pending.begin(), pending.end());
    pending.clear();
  }
  for (const AsyncTaskPtr& task : cancelled) guarded("finish", [&] { task->finish(CancelledCode); });
  cancelled.clear();
  for (size_t i = firstNew; i < active.size(); ++i) guarded("start", [&] { active[i]->start(multi); });

  int running = 0;
  while (curl_multi_perform(multi, &running) == CURLM_CALL_MULTI_PERFORM) {
  }

  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    char* priv = nullptr;
    long status = 0;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
    curl_easy_getinfo(msg->easy_handle, CURLINFO_RESPONSE_CODE, &status);
    const CURLcode result = msg->data.result;
    MLOG(httpLog(), status < 300 ? mlog::Info : mlog::Warning)
        << "done with code: " << status << ", result: " << result;
    const int code = completionCode(result, status);
    AsyncTaskPtr task(reinterpret_cast<AsyncTask*>(priv));
    logCertificateFailure(httpLog(), msg->easy_handle, result, task->errorText());
    auto it = std::find(active.begin(), active.end(), task);
    if (it != active.end()) active.erase(it);
    guarded("finish", [&] { task->finish(code); });
    // The task (and its handle) goes away with the last reference; msg is not used after this.
  }

  // curl_multi_poll waits the full time even without descriptors and has no descriptor limit.
  int ready = 0;
  CURLMcode waited = curl_multi_poll(multi, nullptr, 0, 10, &ready);
  if (waited != CURLM_OK) {
    MLOG(httpLog(), mlog::Error) << "select failed: " << waited;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

AsyncHTTP::AsyncHTTP() : impl_(new Impl) {
  impl_->thread = std::thread([this] { impl_->run(); });
}

AsyncHTTP::~AsyncHTTP() {
  impl_->stopping.store(true);
  impl_->thread.join();
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->pending.clear();
  impl_->cancelledPending.clear();
}

void AsyncHTTP::queue(const AsyncTaskPtr& task) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->pending.push_back(task);
}

void AsyncHTTP::cancelAll() {
  MLOG(httpLog(), mlog::Debug) << "cancelAll()";
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->cancelledPending.insert(impl_->cancelledPending.end(), impl_->pending.begin(), impl_->pending.end());
  impl_->pending.clear();
  impl_->cancelFlag.store(1);
}

}  // namespace mnet
