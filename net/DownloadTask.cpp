#include "net/AsyncTask.h"

#include "logging/Log.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"

#include <boost/bind/bind.hpp>

namespace mnet {

DownloadTask::DownloadTask(HTTPContext& context, const std::string& url, const std::string& cookies,
                           const ProgressFn& onProgress)
    : context_(context), url_(url), cookies_(cookies), onProgress_(onProgress) {}

DownloadTask::~DownloadTask() {
  if (handle_) curl_easy_setopt(handle_.get(), CURLOPT_NOPROGRESS, 1L);
  handle_.reset();
}

void DownloadTask::start(CURLM* multi) {
  MLOG(httpLog(), mlog::Debug) << "DownloadTask::start(" << static_cast<const void*>(multi) << ")";
  MLOG(httpLog(), mlog::Debug) << "DownloadTask, url = " << url_ << ", cookies = " << cookies_;
  handle_.attach(EasyHandle(context_.createEasyHandle(url_, cookies_)), multi);
  if (!handle_) return;
  CURL* easy = handle_.get();
  curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(this));
  handle_.add();
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, onProgress_ ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &DownloadTask::progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void*>(this));
  doStart();
}

int DownloadTask::progress(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) {
  DownloadTask* task = static_cast<DownloadTask*>(self);
  const int percent =
      dlTotal == 0 ? 0
                   : static_cast<int>(static_cast<long long>(dlNow * 100.0 / static_cast<double>(dlTotal)));
  if (percent == task->lastPercent_) return 0;
  task->lastPercent_ = percent;
  try {
    task->context_.dispatch(boost::bind(task->onProgress_, percent));
  } catch (const std::exception& e) {
    MLOG(httpLog(), mlog::Error) << "progress dispatch failed: " << e.what();
  }
  return 0;
}

}  // namespace mnet
