#pragma once

#include "base/ReferenceCounter.h"
#include "net/CurlHandles.h"

#include <boost/intrusive_ptr.hpp>

#include <functional>
#include <string>

namespace mnet {

class HTTPContext;

// One asynchronous transfer run by the engine. The engine calls start() once (unless the
// task is cancelled first) and finish() once with the completion code.
class AsyncTask : public mstd::reference_counter<AsyncTask> {
 public:
  AsyncTask() = default;
  AsyncTask(const AsyncTask&) = delete;
  AsyncTask& operator=(const AsyncTask&) = delete;

  virtual void start(CURLM* multi) = 0;
  virtual void finish(int code) = 0;
  // Takes the easy handle out of the multi handle and cleans it up.
  virtual ~AsyncTask() = default;
  const char* errorText() const noexcept { return handle_.errorText(); }

 protected:
  AttachedEasyHandle handle_;
};

typedef boost::intrusive_ptr<AsyncTask> AsyncTaskPtr;

// A GET (or POST) of a URL with optional percentage progress.
class DownloadTask : public AsyncTask {
 public:
  typedef std::function<void(int)> ProgressFn;

  DownloadTask(HTTPContext& context, const std::string& url, const std::string& cookies,
               const ProgressFn& onProgress);

  // Takes the handle out while the task is whole: curl may still report progress then.
  ~DownloadTask() override;

  void start(CURLM* multi) override;

 protected:
  virtual void doStart() = 0;

  // The engine's own context: the engine thread never goes through the process-wide
  // accessor, which may be tearing the context down at exit.
  HTTPContext& context_;
  std::string url_;
  std::string cookies_;
  ProgressFn onProgress_;
  int lastPercent_ = 0;

 private:
  static int progress(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t);
};

}  // namespace mnet
