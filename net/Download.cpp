#include "net/Download.h"

#include "logging/Log.h"
#include "net/Chunk.h"
#include "net/CurlHandles.h"
#include "net/DownloadResume.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"
#include "net/SyncRequest.h"
#include "net/UniqueFd.h"
#include "net/Worker.h"

#include <fcntl.h>
#include <unistd.h>
#include <boost/exception/get_error_info.hpp>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace mnet {

namespace {
const std::int64_t SplitThreshold = 1048576;
const int InitialWorkers = 5;
typedef std::chrono::steady_clock Clock;

// The answer brought more than a trickle can before it is dropped (the trickle limit over the
// stall time). A trickle must not end a row of failures, so that an endless one backs off and
// runs out of retries like any other failure.
bool deliveredMoreThanATrickle(const Worker& worker) {
  if (!worker.producing()) return false;
  curl_off_t received = 0;
  if (curl_easy_getinfo(worker.easy(), CURLINFO_SIZE_DOWNLOAD_T, &received) != CURLE_OK) return false;
  const HTTPContext& context = HTTPContext::instance();
  return received > static_cast<curl_off_t>(context.trickleLimit()) * context.stallTimeout();
}
}  // namespace

// One server of the file's bytes.
struct Source {
  // As given; `url` moves with redirects.
  std::string origin;
  std::string url;
  // Failures since an answer of this source last delivered more than a trickle.
  int attempt = 0;
  // False from a failure until an answer delivers bytes: one transfer at a time meanwhile.
  bool healthy = true;
  // Failed for good in this download.
  bool dropped = false;
  // Delivered bytes in this download.
  bool used = false;
  // Counts the failures; a transfer started before the last one proves nothing by its bytes.
  unsigned generation = 0;
  int redirects = 0;
  Clock::time_point restUntil{};
};

struct Download::Impl {
  Impl(Download& owner, const std::vector<std::string>& urls, const std::string& path, std::int64_t length,
       const Callback& callback);

  void start();
  void stop();
  void execute();
  // False when no source gave the length (or the run was stopped).
  bool probeSources();
  // A HEAD probe of `url` (moved to where it was redirected): 0, the server's status, or
  // 600 + curl's code.
  int probe(std::string& url, std::int64_t& probed, std::string& headers);
  // Returns true when interrupted.
  bool runTransfers(RunState& run);
  void addWorkers(RunState& run, int n);
  void endWorker(RunState& run, Worker* worker, CURLcode result);
  // `generation`: the source's generation when the failed transfer started; -1 for a probe.
  void sourceFailed(size_t index, int code, const std::string& headers, long long generation = -1);
  // A source that may take a new transfer now, in turn; -1 when none.
  int nextSource(const RunState* run);
  bool sourcesLeft() const;
  // Waits for the first resting source; false when none is left or the run is stopped.
  bool restUntilNext();
  void saveMeta(const RunState& run, int metaFd) const;
  void finishRun(bool interrupted);

  Download& owner;
  std::vector<Source> sources;
  size_t nextPick = 0;
  bool exclusive = false;
  // Origins that delivered bytes, kept at the run's end under the mutex.
  std::vector<std::string> used;
  RetryPolicy policy;
  // The last failure's code, what a failed run reports.
  int lastCode = 0;
  const std::string path;
  Callback callback;
  std::mutex mutex;
  // Wakes a run that rests when the download is destroyed.
  std::condition_variable wake;
  std::thread thread;
  bool running = false;
  // Set by the destructor: a blocking probe gives up at once and the transfers stop.
  std::atomic<bool> stopping{false};
  // The caller's length; blocks are reserved only for a length the caller vouched for.
  const std::int64_t expectedLength;
  std::atomic<std::int64_t> length;
  // The length the server gave in this run's probe (-1: none); ranged answers must agree with it.
  std::int64_t serverLength = -1;
  std::atomic<std::int64_t> downloaded{0};
  std::atomic<std::int64_t> speed{0};
  std::atomic<std::int64_t> elapsedMs{0};
  ChunkList chunks;
  // The length came from the resume file or a probe, not only from the caller.
  bool lengthConfirmed = false;
  Clock::duration activeTime{0};
};

Download::Impl::Impl(Download& owner_, const std::vector<std::string>& urls, const std::string& path_,
                     std::int64_t expected, const Callback& callback_)
    : owner(owner_), path(path_), callback(callback_), expectedLength(expected), length(expected) {
  for (const std::string& url : urls) sources.push_back(Source{url, url});
  MLOG(downloadLog(), mlog::Debug) << "Download::Impl(" << static_cast<const void*>(&owner) << ", "
                                   << (urls.empty() ? std::string() : urls.front()) << ", " << path << ", "
                                   << expected << ")";
  std::optional<ResumeState> resumed = readResumeFile(path, expected);
  if (!resumed) return;
  chunks = std::move(resumed->pending);
  downloaded = resumed->downloaded;
  length = resumed->length;
  lengthConfirmed = true;
}

void Download::Impl::start() {
  std::lock_guard<std::mutex> lock(mutex);
  if (running) return;
  if (thread.joinable()) thread.join();
  running = true;
  thread = std::thread([this] { execute(); });
}

void Download::Impl::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  if (thread.joinable()) thread.join();
}

void Download::Impl::execute() {
  MLOG(downloadLog(), mlog::Info) << "execute(" << (sources.empty() ? std::string() : sources.front().url)
                                  << ")";
  policy = HTTPContext::instance().retryPolicy();
  lastCode = 0;
  for (Source& source : sources) source = Source{source.origin, source.origin};
  bool interrupted = false;
  try {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    if (!chunks.empty() || probeSources()) {
      RunState run;
      run.downloaded = &downloaded;
      run.chunks = &chunks;
      run.length = serverLength >= 0 ? serverLength : length.load();
      interrupted = runTransfers(run);
    }
  } catch (const boost::exception& e) {
    MLOG(downloadLog(), mlog::Warning) << "run failed: " << e;
  } catch (const std::exception& e) {
    MLOG(downloadLog(), mlog::Warning) << "run failed: " << e.what();
  }
  // A probe given up for the destructor ends the run like an interruption.
  finishRun(interrupted || stopping);
}

int Download::Impl::probe(std::string& url, std::int64_t& probed, std::string& headers) {
  try {
    return HTTPContext::instance().probe(url, probed, &stopping, &headers);
  } catch (const HTTPError& e) {
    const int* curl = boost::get_error_info<curl_code>(e);
    return FirstTransferCode + (curl ? *curl : 0);
  }
}

bool Download::Impl::probeSources() {
  while (!stopping) {
    const int index = nextSource(nullptr);
    if (index < 0) {
      if (!restUntilNext()) return false;
      continue;
    }
    Source& source = sources[static_cast<size_t>(index)];
    std::string finalUrl = source.url, headers;
    std::int64_t probed = length;
    const int code = probe(finalUrl, probed, headers);
    if (stopping) return false;
    if (code == 0 && probed >= 0) {
      source.url = finalUrl;
      serverLength = probed;
      // Nothing past the caller's length is written: a longer file fails the caller's checks (0: unknown).
      if (expectedLength > 0 && probed > expectedLength) {
        MLOG(downloadLog(), mlog::Warning)
            << source.url << " is " << probed << " bytes, more than the expected " << expectedLength;
        probed = expectedLength;
      }
      length = probed;
      lengthConfirmed = true;
      downloaded = 0;
      if (probed > 0) insertChunk(chunks, 0, probed);
      return true;
    }
    // An answer without a length cannot be split into ranges.
    sourceFailed(static_cast<size_t>(index), code == 0 ? 400 : code, headers);
  }
  return false;
}

int Download::Impl::nextSource(const RunState* run) {
  const Clock::time_point now = Clock::now();
  for (size_t k = 0; k < sources.size(); ++k) {
    const size_t i = (nextPick + k) % sources.size();
    const Source& source = sources[i];
    if (source.dropped || now < source.restUntil) continue;
    if (exclusive && run && std::any_of(run->workers.begin(), run->workers.end(), [i](const auto& worker) {
          return worker->source() != static_cast<int>(i);
        }))
      continue;
    if (!source.healthy && run) {
      bool busy = false;
      for (const auto& worker : run->workers) busy = busy || worker->source() == static_cast<int>(i);
      if (busy) continue;
    }
    nextPick = i + 1;
    return static_cast<int>(i);
  }
  return -1;
}

bool Download::Impl::sourcesLeft() const {
  for (const Source& source : sources)
    if (!source.dropped) return true;
  return false;
}

bool Download::Impl::restUntilNext() {
  Clock::time_point until = Clock::time_point::max();
  for (const Source& source : sources)
    if (!source.dropped) until = std::min(until, source.restUntil);
  if (until == Clock::time_point::max()) return false;
  std::unique_lock<std::mutex> lock(mutex);
  wake.wait_until(lock, until, [this] { return stopping.load(); });
  return !stopping;
}

void Download::Impl::sourceFailed(size_t index, int code, const std::string& headers, long long generation) {
  Source& source = sources[index];
  lastCode = code;
  const Clock::time_point now = Clock::now();
  // Transfers that were under way when the source last failed fail with it, however late.
  if (source.dropped || now < source.restUntil) return;
  if (generation >= 0 && static_cast<unsigned>(generation) != source.generation) return;
  source.healthy = false;
  ++source.generation;
  const std::optional<std::chrono::milliseconds> wait = policy.next(code, headers, source.attempt);
  if (!wait) {
    source.dropped = true;
    MLOG(downloadLog(), mlog::Warning) << "source left: " << source.url << ", code: " << code;
    return;
  }
  ++source.attempt;
  source.restUntil = now + *wait;
  MLOG(downloadLog(), mlog::Warning) << "code " << code << " from " << source.url << ", retry "
                                     << source.attempt << " in " << wait->count() << " ms";
}

bool Download::Impl::runTransfers(RunState& run) {
  const Clock::time_point runStart = Clock::now();
  Clock::time_point lastSave = runStart;
  UniqueFd meta(::open((path + ".meta").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  UniqueFd target(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!target) {
    MLOG(downloadLog(), mlog::Error) << "Failed to open: " << path;
    return false;
  }
  MultiHandle multi(curl_multi_init());
  run.multi = multi.get();
  run.fd = target.get();
  // Blocks for the whole file up front; the visible size still grows with the writes.
  if (length > 0 && length == expectedLength) ::fallocate(run.fd, FALLOC_FL_KEEP_SIZE, 0, length);
  bool interrupted = false;
  try {
    addWorkers(run, InitialWorkers);
    saveMeta(run, meta.get());
    for (;;) {
      if (stopping) {
        interrupted = true;
        break;
      }
      int active = 0;
      while (curl_multi_perform(run.multi, &active) == CURLM_CALL_MULTI_PERFORM) {
      }
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(run.multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        char* priv = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
        endWorker(run, reinterpret_cast<Worker*>(priv), msg->data.result);
        lastSave = Clock::time_point::min();
      }
      if (!sourcesLeft()) break;
      // A source whose answer delivers bytes again takes its share of the ranges back.
      bool recovered = false;
      for (const auto& worker : run.workers) {
        Source& source = sources[static_cast<size_t>(worker->source())];
        if (!worker->producing() || worker->generation() != source.generation) continue;
        recovered = recovered || !source.healthy;
        source.healthy = source.used = true;
        if (deliveredMoreThanATrickle(*worker)) source.attempt = 0;
      }
      if (recovered) addWorkers(run, InitialWorkers - static_cast<int>(run.workers.size()));
      if (run.workers.empty()) {
        if (chunks.empty()) break;
        addWorkers(run, 1);
        if (run.workers.empty()) {
          saveMeta(run, meta.get());
          if (!restUntilNext()) {
            interrupted = stopping;
            break;
          }
          addWorkers(run, 1);
          continue;
        }
      }
      std::int64_t total = 0;
      for (const auto& worker : run.workers) {
        curl_off_t rate = 0;
        if (curl_easy_getinfo(worker->easy(), CURLINFO_SPEED_DOWNLOAD_T, &rate) == CURLE_OK) total += rate;
      }
      speed = total;
      const Clock::time_point now = Clock::now();
      elapsedMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(activeTime + (now - runStart)).count();
      if (lastSave == Clock::time_point::min() || now - lastSave > std::chrono::seconds(5)) {
        saveMeta(run, meta.get());
        lastSave = now;
      }
      const CURLMcode waited = curl_multi_poll(run.multi, nullptr, 0, 10, nullptr);
      if (waited != CURLM_OK) {
        MLOG(downloadLog(), mlog::Error) << "select failed: " << waited;
        break;
      }
    }
  } catch (...) {
    run.workers.clear();
    saveMeta(run, meta.get());
    activeTime += Clock::now() - runStart;
    throw;
  }
  run.workers.clear();
  saveMeta(run, meta.get());
  speed = 0;
  activeTime += Clock::now() - runStart;
  elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(activeTime).count();
  return interrupted;
}

void Download::Impl::endWorker(RunState& run, Worker* worker, CURLcode result) {
  long status = 0;
  curl_easy_getinfo(worker->easy(), CURLINFO_RESPONSE_CODE, &status);
  MLOG(downloadLog(), status < 300 ? mlog::Notice : mlog::Warning) << "done with code: " << status;
  const bool whole = result == CURLE_OK && (status == 200 || (status == 206 && worker->chunk()->done()));
  const bool clean = worker->cleanStop() || whole;
  const size_t index = static_cast<size_t>(worker->source());
  logCertificateFailure(downloadLog(), worker->easy(), result, worker->errorText());
  if (worker->producing()) {
    sources[index].used = true;
    // Bytes arrived since the last failure: what fails next is a new trouble.
    // A trickle dropped by the time-out was no delivery.
    const bool trickled = result == CURLE_OPERATION_TIMEDOUT && !deliveredMoreThanATrickle(*worker);
    if (worker->generation() == sources[index].generation && !trickled) sources[index].attempt = 0;
  }
  const std::string headers = clean ? std::string() : worker->headers();
  const unsigned generation = worker->generation();
  run.remove(worker);
  for (auto it = chunks.begin(); it != chunks.end();) {
    if (it->done() && !it->worker)
      it = chunks.erase(it);
    else
      ++it;
  }
  if (!clean) {
    Source& source = sources[index];
    if (status == 301 || status == 302) {
      // Transfers that were under way when the source began to rest end with it.
      if (source.dropped || Clock::now() < source.restUntil) {
        addWorkers(run, 1);
        return;
      }
      std::string finalUrl = source.url, probeHeaders;
      std::int64_t probed = length;
      const int code = probe(finalUrl, probed, probeHeaders);
      // The ranges stay as they are; only the address moves. Endless moves count as failures.
      if (code != 0)
        sourceFailed(index, code, probeHeaders);
      else if (++source.redirects > MaxRedirects)
        sourceFailed(index, static_cast<int>(status), probeHeaders);
      else
        source.url = finalUrl;
    } else {
      const bool answered = status != 0 && status != 200 && status != 206;
      sourceFailed(index, answered ? static_cast<int>(status) : FirstTransferCode + result, headers,
                   generation);
    }
  }
  addWorkers(run, 1);
}

void Download::Impl::addWorkers(RunState& run, int n) {
  // Ranges are split only for transfers that can start now.
  int capacity = 0;
  const Clock::time_point now = Clock::now();
  for (size_t i = 0; i < sources.size(); ++i) {
    const Source& source = sources[i];
    if (source.dropped || now < source.restUntil) continue;
    if (source.healthy) {
      capacity = n;
      break;
    }
    capacity += std::none_of(run.workers.begin(), run.workers.end(),
                             [i](const auto& worker) { return worker->source() == static_cast<int>(i); });
  }
  n = std::min(n, capacity);
  if (n <= 0) return;
  std::vector<Chunk*> collected;
  if (run.rangesIgnored) {
    // The server sends whole files: one transfer at a time walks the pending ranges.
    if (!run.workers.empty()) return;
    n = 1;
  }
  for (Chunk& chunk : chunks) {
    if (static_cast<int>(collected.size()) >= n) break;
    if (!chunk.worker && !chunk.done()) collected.push_back(&chunk);
  }
  if (collected.empty()) {
    if (chunks.empty()) {
      MLOG(downloadLog(), mlog::Notice) << "no more chunks";
      return;
    }
    if (run.rangesIgnored) return;
    Chunk* largest = &chunks.front();
    for (Chunk& chunk : chunks)
      if (chunk.remaining() > largest->remaining()) largest = &chunk;
    collected.push_back(largest);
    ++n;
  }
  const int u = static_cast<int>(collected.size());
  if (!run.rangesIgnored && u < n) {
    Chunk* largest = collected.front();
    for (Chunk* chunk : collected)
      if (chunk->remaining() > largest->remaining()) largest = chunk;
    if (largest->remaining() > SplitThreshold) {
      const std::vector<std::int64_t> sizes = splitSizes(largest->remaining(), n - u + 1);
      std::int64_t at = largest->start + sizes[0];
      largest->end = at;
      for (size_t i = 1; i < sizes.size(); ++i) {
        collected.push_back(&insertChunk(chunks, at, at + sizes[i]));
        at += sizes[i];
      }
    }
  }
  for (Chunk* chunk : collected)
    if (!chunk->worker) {
      const int source = nextSource(&run);
      if (source < 0) break;
      const Source& from = sources[static_cast<size_t>(source)];
      std::unique_ptr<Worker> worker(new Worker(run, *chunk, from.url, source, from.generation));
      if (worker->easy()) run.workers.push_back(std::move(worker));
    }
}

void Download::Impl::saveMeta(const RunState&, int metaFd) const {
  writeResumeFile(metaFd, chunks, length);
}

void Download::Impl::finishRun(bool interrupted) {
  DownloadAction action = DownloadAction::Finished;
  int status = 200;
  // A run whose length was never confirmed has fetched nothing, even when the caller expected 0.
  if (downloaded != length || !lengthConfirmed) {
    if (interrupted)
      action = DownloadAction::Stopped;
    else {
      action = DownloadAction::Failed;
      status = lastCode ? lastCode : 400;
    }
  }
  MLOG(downloadLog(), mlog::Debug) << "download done: " << static_cast<int>(action) << ", code: " << status;
  {
    std::lock_guard<std::mutex> lock(mutex);
    used.clear();
    for (const Source& source : sources)
      if (source.used) used.push_back(source.origin);
  }
  try {
    callback(owner, action, status);
  } catch (const std::exception& e) {
    MLOG(downloadLog(), mlog::Error) << "download callback failed: " << e.what();
  }
  std::lock_guard<std::mutex> lock(mutex);
  running = false;
}

Download::Download(const std::string& url, const std::string& path, std::int64_t expectedLength,
                   const Callback& callback)
    : Download(std::vector<std::string>{url}, path, expectedLength, callback) {}

Download::Download(const std::vector<std::string>& urls, const std::string& path, std::int64_t expectedLength,
                   const Callback& callback)
    : impl_(new Impl(*this, urls, path, expectedLength, callback)) {}

Download::~Download() {
  impl_->stop();
}

void Download::start() {
  impl_->start();
}

void Download::oneSourceAtATime() {
  impl_->exclusive = true;
}

std::vector<std::string> Download::sourcesUsed() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->used;
}

DownloadProgress Download::progress() const {
  DownloadProgress result;
  result.downloaded = impl_->downloaded.load();
  result.total = impl_->length.load();
  result.speed = impl_->speed.load();
  result.elapsed = std::chrono::milliseconds(impl_->elapsedMs.load());
  return result;
}

}  // namespace mnet
