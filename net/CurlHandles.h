#pragma once

#include <curl/curl.h>

#include <memory>

namespace mnet {

struct EasyHandleDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct MultiHandleDeleter {
  void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
struct ShareHandleDeleter {
  void operator()(CURLSH* handle) const noexcept { curl_share_cleanup(handle); }
};
struct HeaderListDeleter {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

typedef std::unique_ptr<CURL, EasyHandleDeleter> EasyHandle;
typedef std::unique_ptr<CURLM, MultiHandleDeleter> MultiHandle;
typedef std::unique_ptr<curl_slist, HeaderListDeleter> HeaderList;
typedef std::unique_ptr<CURLSH, ShareHandleDeleter> ShareHandle;

// An easy handle that belongs to a multi handle: leaves it, then is cleaned up.
class AttachedEasyHandle {
 public:
  AttachedEasyHandle() = default;
  AttachedEasyHandle(const AttachedEasyHandle&) = delete;
  AttachedEasyHandle& operator=(const AttachedEasyHandle&) = delete;
  ~AttachedEasyHandle() { reset(); }

  void attach(EasyHandle easy, CURLM* multi) {
    reset();
    easy_ = std::move(easy);
    multi_ = multi;
    error_[0] = 0;
    if (easy_) curl_easy_setopt(easy_.get(), CURLOPT_ERRORBUFFER, error_);
  }
  CURLMcode add() { return curl_multi_add_handle(multi_, easy_.get()); }
  void reset() noexcept {
    if (easy_ && multi_) curl_multi_remove_handle(multi_, easy_.get());
    easy_.reset();
    multi_ = nullptr;
  }
  CURL* get() const noexcept { return easy_.get(); }
  CURLM* multi() const noexcept { return multi_; }
  explicit operator bool() const noexcept { return easy_ != nullptr; }
  // curl's own words on the transfer's failure; empty when none.
  const char* errorText() const noexcept { return error_; }

 private:
  EasyHandle easy_;
  CURLM* multi_ = nullptr;
  char error_[CURL_ERROR_SIZE] = {};
};

}  // namespace mnet
