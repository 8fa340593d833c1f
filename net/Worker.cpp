#include "net/Worker.h"

#include "logging/Log.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mnet {

Worker::Worker(RunState& run, Chunk& chunk, const std::string& url, int source, unsigned generation)
    : run_(run), chunk_(&chunk), source_(source), generation_(generation) {
  chunk.worker = this;
  handle_.attach(EasyHandle(HTTPContext::instance().createEasyHandle(url, std::string())), run.multi);
  MLOG(downloadLog(), mlog::Debug) << "Worker(" << url << ")";
  CURL* easy = handle_.get();
  if (!easy) return;
  const std::string range = std::to_string(chunk.start) + "-" + std::to_string(chunk.end - 1);
  curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
  MLOG(downloadLog(), mlog::Debug) << "downloading from: " << chunk.start << ", to: " << chunk.end
                                   << ", len: " << chunk.remaining();
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(this));
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Worker::onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void*>(this));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Worker::onWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(this));
  curl_easy_setopt(easy, CURLOPT_HEADER, 0L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Worker::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void*>(this));
  // Fewer, larger blocks: one positional write each.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 512L * 1024L);
  handle_.add();
}

Worker::~Worker() {
  if (chunk_ && chunk_->worker == this) chunk_->worker = nullptr;
}

int Worker::onProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return 0;
}

size_t Worker::onHeader(char* data, size_t size, size_t count, void* self) {
  Worker* worker = static_cast<Worker*>(self);
  const size_t n = size * count;
  worker->headerText_.append(data, n);
  static const char contentRange[] = "Content-Range:";
  const size_t prefix = sizeof(contentRange) - 1;
  if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
    worker->contentRangeStart_ = -1;
    worker->contentRangeTotal_ = -1;
  } else if (n > prefix && strncasecmp(data, contentRange, prefix) == 0) {
    std::string value(data + prefix, n - prefix);
    size_t at = value.find_first_not_of(" \t");
    if (at != std::string::npos && value.compare(at, 6, "bytes ") == 0) {
      at += 6;
      char* stop = nullptr;
      const long long start = std::strtoll(value.c_str() + at, &stop, 10);
      if (stop != value.c_str() + at && *stop == '-') {
        worker->contentRangeStart_ = start;
        const char* slash = std::strchr(stop, '/');
        char* totalEnd = nullptr;
        const long long total = slash ? std::strtoll(slash + 1, &totalEnd, 10) : -1;
        if (slash && totalEnd != slash + 1) worker->contentRangeTotal_ = total;
      }
    }
  }
  return n;
}

size_t Worker::onWrite(char* data, size_t size, size_t count, void* self) {
  return static_cast<Worker*>(self)->write(data, size * count);
}

bool Worker::decide() {
  long status = 0;
  curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status == 206 && contentRangeStart_ == chunk_->start &&
      (contentRangeTotal_ < 0 || run_.length < 0 || contentRangeTotal_ == run_.length)) {
    mode_ = Ranged;
    streamPos_ = chunk_->start;
    return true;
  }
  if (status != 200) {
    MLOG(downloadLog(), mlog::Warning)
        << "answer " << status << " for range at " << chunk_->start << " not used";
    mode_ = Rejected;
    return false;
  }
  run_.rangesIgnored = true;
  // Another whole-file answer that has not passed this chunk yet will write it.
  for (const auto& other : run_.workers) {
    if (other.get() != this && other->mode_ == Whole && !other->reachedEnd_ &&
        other->streamPos_ <= chunk_->start) {
      superseded_ = true;
      mode_ = Rejected;
      return false;
    }
  }
  mode_ = Whole;
  streamPos_ = 0;
  return true;
}

bool Worker::writeAt(const char* data, std::int64_t n, std::int64_t offset) {
  while (n > 0) {
    const ssize_t put = ::pwrite(run_.fd, data, static_cast<size_t>(n), offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    n -= put;
    offset += put;
  }
  return true;
}

Chunk* Worker::nextChunkFrom(std::int64_t position) const {
  for (Chunk& chunk : *run_.chunks)
    if (!chunk.worker && !chunk.done() && chunk.start >= position) return &chunk;
  return nullptr;
}

size_t Worker::write(const char* data, size_t offered) {
  if (mode_ == Unknown && !decide()) return 0;
  if (mode_ == Rejected) return 0;
  std::int64_t left = static_cast<std::int64_t>(offered);
  while (left > 0) {
    if (chunk_->done()) {
      Chunk* next = mode_ == Whole ? nextChunkFrom(streamPos_) : nullptr;
      if (!next) {
        reachedEnd_ = true;
        break;
      }
      chunk_->worker = nullptr;
      chunk_ = next;
      next->worker = this;
    }
    if (streamPos_ < chunk_->start) {
      const std::int64_t skip = std::min(left, chunk_->start - streamPos_);
      streamPos_ += skip;
      data += skip;
      left -= skip;
      continue;
    }
    const std::int64_t n = std::min(left, chunk_->remaining());
    if (!writeAt(data, n, chunk_->start)) {
      MLOG(downloadLog(), mlog::Error) << "write(" << n << ", " << run_.downloaded->load() << "), written: 0";
      mode_ = Rejected;
      return 0;
    }
    chunk_->start += n;
    streamPos_ += n;
    data += n;
    left -= n;
    const std::int64_t total = run_.downloaded->fetch_add(n) + n;
    MLOG(downloadLog(), mlog::Debug) << "write(" << n << ", " << total << "), written: 1";
  }
  return offered - static_cast<size_t>(left);
}

}  // namespace mnet
