#pragma once

namespace mlog {
class LogParticipant;
}

namespace mnet {

// Participant "http": engine, tasks and blocking requests.
mlog::LogParticipant& httpLog();
// Participant "download": segmented downloads.
mlog::LogParticipant& downloadLog();

}  // namespace mnet
