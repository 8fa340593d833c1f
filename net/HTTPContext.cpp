#include "net/HTTPContext.h"

#include "base/Singleton.h"
#include "net/AsyncHTTP.h"

#include <cstdlib>
#include <mutex>

namespace mnet {

HTTPContext& HTTPContext::instance() {
  return mstd::singleton<HTTPContext>::instance();
}

namespace {

// Debian's ca-certificates, one file per CA with hashed names.
const char* const systemCaPath = "/etc/ssl/certs";

// Static: curl leaves a share that a handle still uses at exit, and that handle still locks.
std::mutex shareLocks[CURL_LOCK_DATA_LAST];

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  shareLocks[data].lock();
}

void unlockShare(CURL*, curl_lock_data data, void*) {
  shareLocks[data].unlock();
}

}  // namespace

HTTPContext::HTTPContext() {
  curl_global_init(CURL_GLOBAL_ALL);
  share_.reset(curl_share_init());
  if (share_) {
    curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &lockShare);
    curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &unlockShare);
    curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  if (const char* file = std::getenv("VORNASK_CA_FILE")) caFile_ = file;
  dispatcher_ = [](const Job& job) { job(); };
  engine_.reset(new AsyncHTTP);
}

HTTPContext::~HTTPContext() {
  engine_.reset();
}

void HTTPContext::setUserAgent(const std::string& agent) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  userAgent_ = agent;
}

std::string HTTPContext::userAgent() const {
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  return userAgent_;
}

void HTTPContext::setDispatcher(const Dispatcher& dispatcher) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  dispatcher_ = dispatcher;
}

void HTTPContext::setStallTimeout(long seconds) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  stallTimeout_ = seconds;
}

void HTTPContext::setTrickleLimit(long bytesPerSecond) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  trickleLimit_ = bytesPerSecond;
}

long HTTPContext::trickleLimit() const {
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  return trickleLimit_;
}

long HTTPContext::stallTimeout() const {
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  return stallTimeout_;
}

void HTTPContext::setCaFile(const std::string& path) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  caFile_ = path;
}

void HTTPContext::setRetryPolicy(const RetryPolicy& policy) {
  std::unique_lock<std::shared_mutex> lock(settingsLock_);
  retryPolicy_ = policy;
}

RetryPolicy HTTPContext::retryPolicy() const {
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  return retryPolicy_;
}

Dispatcher HTTPContext::dispatcher() const {
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  return dispatcher_;
}

void HTTPContext::dispatch(const Job& job) const {
  Dispatcher run = dispatcher();
  run(job);
}

CURL* HTTPContext::createEasyHandle(const std::string& url, const std::string& cookies) const {
  CURL* handle = curl_easy_init();
  if (!handle) return nullptr;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  if (!cookies.empty()) curl_easy_setopt(handle, CURLOPT_COOKIE, cookies.c_str());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip");
  curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 1L);
  std::shared_lock<std::shared_mutex> lock(settingsLock_);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent_.c_str());
  // Certificates are checked against the system's store, host name included.
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  // Browsers' order: with AES instructions AES-128-GCM costs the least per byte, both ends.
  curl_easy_setopt(handle, CURLOPT_TLS13_CIPHERS,
                   "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384");
  if (!caFile_.empty()) {
    // The extra file is read besides the system's folder of CA certificates.
    curl_easy_setopt(handle, CURLOPT_CAINFO, caFile_.c_str());
    curl_easy_setopt(handle, CURLOPT_CAPATH, systemCaPath);
  }
  // A session is resumed only with the same server and the same trust settings it was made with.
  if (share_) curl_easy_setopt(handle, CURLOPT_SHARE, share_.get());
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, trickleLimit_);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, stallTimeout_);
  // Several threads use curl at once; no signals for time-outs.
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  return handle;
}

AsyncHTTP& HTTPContext::engine() {
  return *engine_;
}

void HTTPContext::cancelAll() {
  engine_->cancelAll();
}

}  // namespace mnet
