#include "net/Logs.h"

#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "net/RetryPolicy.h"

namespace mnet {

MLOG_DEFINE_PARTICIPANT(httpLog, "http")
MLOG_DEFINE_PARTICIPANT(downloadLog, "download")

void logCertificateFailure(mlog::LogParticipant& log, CURL* easy, CURLcode result, const char* errorText) {
  if (!certificateFailure(FirstTransferCode + result) && result != CURLE_SSL_CONNECT_ERROR) return;
  char* url = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
  MLOG(log, mlog::Error) << "TLS failure (" << result << ") for " << (url ? url : "?") << ": "
                         << (errorText && *errorText ? errorText : curl_easy_strerror(result));
}

}  // namespace mnet
