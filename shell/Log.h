#pragma once

namespace mlog {
class LogParticipant;
}

namespace shell {

// Participant "client": the start-up and the UI thread's loop.
mlog::LogParticipant& clientLog();

}  // namespace shell
