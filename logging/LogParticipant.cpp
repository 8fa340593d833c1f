#include "logging/LogParticipant.h"

#include "logging/Manager.h"

namespace mlog {

LogParticipant::LogParticipant(const std::string& name)
    : name_(name), entry_(Manager::instance().entry(name)) {}

}  // namespace mlog
