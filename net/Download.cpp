#include "net/Download.h"

#include "logging/Log.h"
#include "net/Chunk.h"
#include "net/CurlHandles.h"
#include "net/DownloadResume.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"
#include "net/UniqueFd.h"
#include "net/Worker.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

namespace mnet {

namespace {
const std::int64_t SplitThreshold = 1048576;
const int InitialWorkers = 5;
const int RetryBudget = 100;
typedef std::chrono::steady_clock Clock;
}  // namespace

struct Download::Impl {
  Impl(Download& owner, const std::string& url, const std::string& path, std::int64_t length,
       const Callback& callback);

  void start();
  void stop();
  void execute();
  // Returns true when interrupted.
  bool runTransfers(RunState& run, bool& notFound);
  void addWorkers(RunState& run, int n);
  void endWorker(RunState& run, Worker* worker, CURLcode result, int& retries, bool& notFound);
  void saveMeta(const RunState& run, int metaFd) const;
  void finishRun(bool interrupted, bool notFound);

  Download& owner;
  std::string url;
  const std::string path;
  Callback callback;
  std::mutex mutex;
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

Download::Impl::Impl(Download& owner_, const std::string& url_, const std::string& path_,
                     std::int64_t expected, const Callback& callback_)
    : owner(owner_), url(url_), path(path_), callback(callback_), expectedLength(expected), length(expected) {
  MLOG(downloadLog(), mlog::Debug) << "Download::Impl(" << static_cast<const void*>(&owner) << ", " << url
                                   << ", " << path << ", " << expected << ")";
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
  if (thread.joinable()) thread.join();
}

void Download::Impl::execute() {
  MLOG(downloadLog(), mlog::Info) << "execute(" << url << ")";
  bool notFound = false, interrupted = false;
  try {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    bool proceed = true;
    if (chunks.empty()) {
      std::int64_t probed = length;
      std::string finalUrl = url;
      const int result = HTTPContext::instance().probe(finalUrl, probed, &stopping);
      // An answer without a length cannot be split into ranges.
      if (result == 0 && probed >= 0) {
        url = finalUrl;
        serverLength = probed;
        // Nothing past the caller's length is written: a longer file fails the caller's checks (0: unknown).
        if (expectedLength > 0 && probed > expectedLength) {
          MLOG(downloadLog(), mlog::Warning)
              << url << " is " << probed << " bytes, more than the expected " << expectedLength;
          probed = expectedLength;
        }
        length = probed;
        lengthConfirmed = true;
        downloaded = 0;
        if (probed > 0) insertChunk(chunks, 0, probed);
      } else {
        notFound = result == 404;
        proceed = false;
      }
    }
    if (proceed) {
      RunState run;
      run.downloaded = &downloaded;
      run.chunks = &chunks;
      run.length = serverLength >= 0 ? serverLength : length.load();
      interrupted = runTransfers(run, notFound);
    }
  } catch (const boost::exception& e) {
    MLOG(downloadLog(), mlog::Warning) << "run failed: " << e;
  } catch (const std::exception& e) {
    MLOG(downloadLog(), mlog::Warning) << "run failed: " << e.what();
  }
  // A probe given up for the destructor ends the run like an interruption.
  finishRun(interrupted || stopping, notFound);
}

bool Download::Impl::runTransfers(RunState& run, bool& notFound) {
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
  int retries = RetryBudget;
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
        endWorker(run, reinterpret_cast<Worker*>(priv), msg->data.result, retries, notFound);
        if (retries > 0) lastSave = Clock::time_point::min();
      }
      if (notFound || run.workers.empty()) break;
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

void Download::Impl::endWorker(RunState& run, Worker* worker, CURLcode result, int& retries, bool& notFound) {
  long status = 0;
  curl_easy_getinfo(worker->easy(), CURLINFO_RESPONSE_CODE, &status);
  MLOG(downloadLog(), status < 300 ? mlog::Notice : mlog::Warning) << "done with code: " << status;
  // A completed 206 is not a clean end: every ranged answer costs a retry.
  const bool clean = worker->cleanStop() || (result == CURLE_OK && status == 200);
  run.remove(worker);
  for (auto it = chunks.begin(); it != chunks.end();) {
    if (it->done() && !it->worker)
      it = chunks.erase(it);
    else
      ++it;
  }
  if (!clean) {
    if (status == 404) {
      notFound = true;
      retries = 0;
    } else if (retries > 0) {
      --retries;
      if (status == 301 || status == 302) {
        std::string finalUrl = url;
        std::int64_t probed = length;
        // The ranges stay as they are; only the address moves.
        if (HTTPContext::instance().probe(finalUrl, probed, &stopping) == 0) url = finalUrl;
      }
    }
  }
  if (retries > 0) addWorkers(run, 1);
}

void Download::Impl::addWorkers(RunState& run, int n) {
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
      std::unique_ptr<Worker> worker(new Worker(run, *chunk, url));
      if (worker->easy()) run.workers.push_back(std::move(worker));
    }
}

void Download::Impl::saveMeta(const RunState&, int metaFd) const {
  writeResumeFile(metaFd, chunks, length);
}

void Download::Impl::finishRun(bool interrupted, bool notFound) {
  DownloadAction action = DownloadAction::Finished;
  int status = 200;
  // A run whose length was never confirmed has fetched nothing, even when the caller expected 0.
  if (downloaded != length || !lengthConfirmed) {
    if (interrupted)
      action = DownloadAction::Stopped;
    else {
      action = DownloadAction::Failed;
      status = notFound ? 404 : 400;
    }
  }
  MLOG(downloadLog(), mlog::Debug) << "download done: " << static_cast<int>(action) << ", code: " << status;
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
    : impl_(new Impl(*this, url, path, expectedLength, callback)) {}

Download::~Download() {
  impl_->stop();
}

void Download::start() {
  impl_->start();
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
