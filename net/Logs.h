#pragma once

#include <curl/curl.h>

namespace mlog {
class LogParticipant;
}

namespace mnet {

// Participant "http": engine, tasks and blocking requests.
mlog::LogParticipant& httpLog();
// Participant "download": segmented downloads.
mlog::LogParticipant& downloadLog();

// An ERR record naming why a server's certificate (or the TLS handshake) was refused, when
// `result` is such a failure: curl's words from `errorText`, else its text for the code.
void logCertificateFailure(mlog::LogParticipant& log, CURL* easy, CURLcode result, const char* errorText);

}  // namespace mnet
