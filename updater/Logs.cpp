#include "updater/Logs.h"

#include "logging/LogParticipant.h"

namespace updater {

MLOG_DEFINE_PARTICIPANT(updaterLog, "updater")

}  // namespace updater
