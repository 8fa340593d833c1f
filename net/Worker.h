#pragma once

#include "net/Chunk.h"
#include "net/CurlHandles.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace mnet {

// What the workers of one run share.
class Worker;

struct RunState {
  CURLM* multi = nullptr;
  int fd = -1;
  std::atomic<std::int64_t>* downloaded = nullptr;
  ChunkList* chunks = nullptr;
  // The file's length as probed; an answer for a file of another length is not used.
  std::int64_t length = -1;
  // Set once a server answered a range request with the whole file.
  bool rangesIgnored = false;
  // Running transfers; cleared before the multi handle goes away.
  std::list<std::unique_ptr<Worker>> workers;

  void remove(const Worker* worker) {
    workers.remove_if([worker](const std::unique_ptr<Worker>& w) { return w.get() == worker; });
  }
};

// One ranged transfer into its chunk. Bytes are written only at their own offset: a 206 is
// used when its Content-Range starts at the chunk's start, a 200 is the file from byte 0 and
// only the part inside the chunk is written; any other answer, and a 206 for a file of another
// length (the file changed on the server), writes nothing.
class Worker {
 public:
  // `source` is the caller's number for the server at `url`, `generation` the caller's
  // count of that server's failures when the transfer starts.
  Worker(RunState& run, Chunk& chunk, const std::string& url, int source = 0, unsigned generation = 0);
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker();

  CURL* easy() const noexcept { return handle_.get(); }
  const char* errorText() const noexcept { return handle_.errorText(); }
  Chunk* chunk() const noexcept { return chunk_; }
  // The worker stopped on purpose (its range is written, or another worker serves it).
  bool cleanStop() const noexcept { return reachedEnd_ || superseded_; }
  int source() const noexcept { return source_; }
  unsigned generation() const noexcept { return generation_; }
  // The answer is being written (a usable 206 or 200 arrived).
  bool producing() const noexcept { return mode_ == Ranged || mode_ == Whole; }
  // Header lines of the answers so far (for Retry-After).
  const std::string& headers() const noexcept { return headerText_; }

 private:
  enum Mode { Unknown, Ranged, Whole, Rejected };

  static size_t onWrite(char* data, size_t size, size_t count, void* self);
  static int onProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  size_t write(const char* data, size_t n);
  bool decide();
  bool writeAt(const char* data, std::int64_t n, std::int64_t offset);
  Chunk* nextChunkFrom(std::int64_t position) const;

  RunState& run_;
  Chunk* chunk_;
  const int source_;
  const unsigned generation_;
  AttachedEasyHandle handle_;
  std::string headerText_;
  std::int64_t contentRangeStart_ = -1;
  // The complete length after the '/' of Content-Range; -1 when absent or "*".
  std::int64_t contentRangeTotal_ = -1;
  Mode mode_ = Unknown;
  // File offset of the next byte the answer delivers.
  std::int64_t streamPos_ = 0;
  bool reachedEnd_ = false;
  bool superseded_ = false;
};

}  // namespace mnet
