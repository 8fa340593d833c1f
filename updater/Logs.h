#pragma once

namespace mlog {
class LogParticipant;
}

namespace updater {

// Participant "updater": lists refused, expired or not recorded.
mlog::LogParticipant& updaterLog();

}  // namespace updater
