#pragma once

namespace mlog {
class LogParticipant;
}

namespace updater {

// Participant "updater": lists refused, expired or not recorded; what the launcher's button reads (debug).
mlog::LogParticipant& updaterLog();

}  // namespace updater
