#pragma once

#include "logging/LogDevice.h"
#include "logging/LogParticipant.h"

#include <boost/intrusive_ptr.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace mlog {

namespace detail {
class Record;
}

// Participant settings and output devices of the process. Built with default level 4 and one
// device group holding the console device (standard output, maximum level 7).
// The environment variable VORNASK_LOG, read once when the manager is built, sets the levels of
// new participants (see LevelSettings.h): "7" for every participant, "http=7,download=6" per name.
class Manager {
 public:
  static Manager& instance();
  ~Manager();

  // The entry for a name, created with the default level and group 0 when new.
  ParticipantEntry* entry(const std::string& name);

  // Hands a finished record to the devices on the calling thread.
  void write(const detail::Record& record, const std::string& participant);

  void setLevel(const std::string& name, int level);
  void setGroup(const std::string& name, int group);
  int defaultLevel() const;

  // Appends a device to a group, creating the groups up to it.
  void addDevice(int group, boost::intrusive_ptr<LogDevice> device);
  void removeDevice(const boost::intrusive_ptr<LogDevice>& device);
  std::vector<boost::intrusive_ptr<LogDevice>> devices(int group) const;
  std::size_t groupCount() const;

 private:
  friend class mstd::singleton<Manager>;
  Manager();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mlog
