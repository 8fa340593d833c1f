#include "net/Logs.h"

#include "logging/LogParticipant.h"

namespace mnet {

MLOG_DEFINE_PARTICIPANT(httpLog, "http")
MLOG_DEFINE_PARTICIPANT(downloadLog, "download")

}  // namespace mnet
