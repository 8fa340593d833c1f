#include "net/GetDataAsync.h"

#include "logging/Log.h"
#include "net/AsyncHTTP.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"

#include <algorithm>

namespace mnet {

GetDataAsync::GetDataAsync(HTTPContext& context, const Request& request)
    : DownloadTask(context, request.url, request.cookies, request.onProgress),
      onData_(request.onData),
      onDataWithHeaders_(request.onDataWithHeaders),
      maxBodySize_(std::min(request.maxBodySize, HTTPContext::MaxBodySize)),
      postData_(request.postData) {
  // Each line goes to the front of the list: the wire order is the reverse of the request's.
  for (auto it = request.headers.rbegin(); it != request.headers.rend(); ++it) {
    curl_slist* list = curl_slist_append(headerList_.get(), it->c_str());
    if (list) {
      headerList_.release();
      headerList_.reset(list);
    }
  }
}

void GetDataAsync::doStart() {
  MLOG(httpLog(), mlog::Debug) << "GetDataAsync::doStart(" << url_ << ")";
  CURL* easy = handle_.get();
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &GetDataAsync::write);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(this));
  if (onDataWithHeaders_) {
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void*>(this));
    curl_easy_setopt(easy, CURLOPT_HEADER, 0L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &GetDataAsync::writeHeader);
  }
  if (headerList_) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
  if (postData_) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, postData_->data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postData_->length()));
  }
  MLOG(httpLog(), mlog::Debug) << "GetDataAsync::doStart, done";
}

size_t GetDataAsync::write(char* data, size_t size, size_t count, void* self) {
  GetDataAsync* task = static_cast<GetDataAsync*>(self);
  MLOG(httpLog(), mlog::Debug) << "GetDataAsync::write(" << static_cast<const void*>(data) << ", " << size
                               << ", " << count << ", " << self << ")";
  // An endless body must not eat the memory: past the cap the transfer fails.
  if (task->body_.size() + size * count > task->maxBodySize_) return 0;
  task->body_.append(data, size * count);
  return size * count;
}

size_t GetDataAsync::writeHeader(char* data, size_t size, size_t count, void* self) {
  GetDataAsync* task = static_cast<GetDataAsync*>(self);
  MLOG(httpLog(), mlog::Debug) << "GetDataAsync::writeHeader(" << static_cast<const void*>(data) << ", "
                               << size << ", " << count << ", " << self << ")";
  if (size * count != 0) task->headerText_.append(data, size * count);
  return size * count;
}

void GetDataAsync::finish(int code) {
  MLOG(httpLog(), code != 0 ? mlog::Warning : mlog::Debug) << "get data: " << url_ << ", code: " << code;
  Job job;
  if (onDataWithHeaders_)
    job = [done = onDataWithHeaders_, code, body = body_, headers = headerText_] {
      done(code, body, headers);
    };
  else if (onData_)
    job = [done = onData_, code, body = body_] { done(code, body); };
  else
    return;
  context_.dispatch(job);
}

void Request::run() const {
  MLOG(httpLog(), mlog::Debug) << "Request::run([url=" << url << ", cookies=" << cookies << "])";
  HTTPContext& context = HTTPContext::instance();
  AsyncTaskPtr task(new GetDataAsync(context, *this));
  context.engine().queue(task);
}

void cancelAll() {
  HTTPContext::instance().cancelAll();
}

namespace {

void runGet(const std::string& url, const std::string& cookies, size_t maxBodySize,
            const ProgressCallback& onProgress, const DataCallback& onData) {
  Request request;
  request.url = url;
  request.cookies = cookies;
  request.maxBodySize = maxBodySize;
  request.onProgress = onProgress;
  request.onData = onData;
  request.run();
}

}  // namespace

void getData(const std::string& url, size_t maxBodySize, const ProgressCallback& onProgress,
             const DataCallback& onData) {
  runGet(url, std::string(), maxBodySize, onProgress, onData);
}

void getData(const std::string& url, const std::string& cookies, const ProgressCallback& onProgress,
             const DataCallback& onData) {
  runGet(url, cookies, SIZE_MAX, onProgress, onData);
}

}  // namespace mnet
