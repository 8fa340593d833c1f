#include "net/SyncRequest.h"

#include "logging/Log.h"
#include "net/CurlHandles.h"
#include "net/HTTPContext.h"
#include "net/Logs.h"
#include "support/Text.h"

#include <set>

namespace mnet {

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

int checkAbort(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

[[noreturn]] void raise(CURLcode code) {
  throw HTTPError() << mstd::error_message("curl perform error: " + std::to_string(static_cast<int>(code)))
                    << curl_code(static_cast<int>(code));
}

// One request without following redirects; returns the redirect target ("" for none).
std::string performOnce(const HTTPContext& context, SyncRequest& request) {
  MLOG(httpLog(), mlog::Debug) << "http request: " << request.url;
  EasyHandle handle(context.createEasyHandle(request.url, request.cookies));
  if (!handle) raise(CURLE_FAILED_INIT);
  CURL* easy = handle.get();
  if (request.body) {
    request.body->clear();
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(request.body));
  } else {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  }
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &appendBody);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void*>(&request.headers));
  if (request.abort) {
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &checkAbort);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(request.abort));
  }
  const CURLcode result = curl_easy_perform(easy);
  MLOG(httpLog(), mlog::Debug) << "http result: " << result;
  if (result != CURLE_OK) {
    MLOG(httpLog(), mlog::Warning) << "perform error: " << result;
    logCertificateFailure(httpLog(), easy, result, errorText);
    raise(result);
  }
  char* type = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
    request.contentType = type;
  else
    request.contentType = "<unknown>";
  long status = 0;
  request.status =
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK ? static_cast<int>(status) : 444;
  curl_off_t length = -1;
  if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
  request.length = length;
  if (request.body) {
    MLOG(httpLog(), mlog::Debug) << "http response, size: " << request.body->size()
                                 << ", type: " << request.contentType;
    MLOG(httpLog(), mlog::Debug) << "http response data: " << bodyLogText(*request.body);
  }
  if (request.status != 301 && request.status != 302) return std::string();
  MLOG(httpLog(), mlog::Info) << "http redirection...";
  char* target = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || !target) return std::string();
  return target;
}

}  // namespace

std::string bodyLogText(const std::string& body) {
  const size_t n = std::min<size_t>(body.size(), 1024);
  bool text = true;
  for (size_t i = 0; i < n && text; ++i) {
    const unsigned char c = static_cast<unsigned char>(body[i]);
    text = (c >= 32 && c <= 127) || c == 13 || c == 10;
  }
  if (text) return body.substr(0, n);
  std::string hex;
  hex.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(body[i]);
    if (i) hex += ' ';
    hex += mstd::hexDigit(c >> 4);
    hex += mstd::hexDigit(c);
  }
  return hex;
}

void HTTPContext::perform(SyncRequest& request) const {
  std::set<std::string> seen{request.url};
  for (int redirects = 0;; ++redirects) {
    std::string target = performOnce(*this, request);
    if (target.empty()) return;
    // A cycle or a long chain fails like curl's own "too many redirects".
    if (redirects == MaxRedirects || !seen.insert(target).second) {
      MLOG(httpLog(), mlog::Warning) << "too many redirects: " << target;
      raise(CURLE_TOO_MANY_REDIRECTS);
    }
    request.url = target;
  }
}

int HTTPContext::probe(std::string& url, std::int64_t& length, const std::atomic<bool>* abort,
                       std::string* headers) const {
  SyncRequest request;
  request.url = url;
  request.abort = abort;
  perform(request);
  if (headers) *headers = request.headers;
  if (request.status >= 400) return request.status;
  url = request.url;
  length = request.length;
  return 0;
}

}  // namespace mnet
