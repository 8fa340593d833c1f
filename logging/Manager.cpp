#include "logging/Manager.h"

#include "logging/CFileLogDevice.h"
#include "logging/LevelSettings.h"
#include "logging/Levels.h"
#include "logging/Record.h"
#include "logging/SpinLock.h"
#include "logging/StreamPool.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace mlog {
namespace {

typedef boost::intrusive_ptr<LogDevice> DevicePtr;

// Immutable once published; changes build a new set.
struct DeviceSet : mstd::reference_counter<DeviceSet> {
  std::vector<std::vector<DevicePtr>> groups;
};

void writeTo(const std::vector<DevicePtr>& group, const detail::Record& record) {
  for (const DevicePtr& device : group)
    if (device->maxLevel() >= record.level()) device->write(record.level(), record.text(), record.length());
}

}  // namespace

struct Manager::Impl {
  mutable detail::SpinLock lock;
  LevelSettings levels;  // from VORNASK_LOG
  std::unordered_map<std::string, std::unique_ptr<ParticipantEntry>> participants;
  boost::intrusive_ptr<DeviceSet> devices;

  ParticipantEntry& entryLocked(const std::string& name) {
    std::unique_ptr<ParticipantEntry>& slot = participants[name];
    if (!slot) {
      slot.reset(new ParticipantEntry);
      slot->level.store(levels.levelOf(name));
      slot->group.store(0);
    }
    return *slot;
  }

  boost::intrusive_ptr<DeviceSet> copyDevices() const {
    boost::intrusive_ptr<DeviceSet> copy(new DeviceSet);
    copy->groups = devices->groups;
    return copy;
  }
};

Manager& Manager::instance() {
  return mstd::singleton<Manager>::instance();
}

Manager::Manager() : impl_(new Impl) {
  // Built first so that it is destroyed last: threads of objects made later may still be
  // writing records while those objects go away at exit.
  detail::StreamPool::instance();
  impl_->participants.max_load_factor(1.0f);
  if (const char* text = std::getenv("VORNASK_LOG")) impl_->levels = parseLevelSettings(text);
  impl_->devices.reset(new DeviceSet);
  impl_->devices->groups.resize(1);
  impl_->devices->groups[0].push_back(DevicePtr(new CFileLogDevice("console", stdout, Debug)));
}

Manager::~Manager() = default;

ParticipantEntry* Manager::entry(const std::string& name) {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  return &impl_->entryLocked(name);
}

void Manager::write(const detail::Record& record, const std::string&) {
  boost::intrusive_ptr<DeviceSet> devices;
  {
    std::lock_guard<detail::SpinLock> guard(impl_->lock);
    devices = impl_->devices;
  }
  writeTo(devices->groups[0], record);
  const int group = record.group();
  if (group > 0 && static_cast<std::size_t>(group) < devices->groups.size())
    writeTo(devices->groups[static_cast<std::size_t>(group)], record);
}

void Manager::setLevel(const std::string& name, int level) {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  impl_->entryLocked(name).level.store(level);
}

void Manager::setGroup(const std::string& name, int group) {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  impl_->entryLocked(name).group.store(group);
}

int Manager::defaultLevel() const {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  return impl_->levels.defaultLevel;
}

void Manager::addDevice(int group, boost::intrusive_ptr<LogDevice> device) {
  if (group < 0 || !device) return;
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  boost::intrusive_ptr<DeviceSet> changed = impl_->copyDevices();
  if (changed->groups.size() <= static_cast<std::size_t>(group))
    changed->groups.resize(static_cast<std::size_t>(group) + 1);
  changed->groups[static_cast<std::size_t>(group)].push_back(std::move(device));
  impl_->devices = changed;
}

void Manager::removeDevice(const boost::intrusive_ptr<LogDevice>& device) {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  boost::intrusive_ptr<DeviceSet> changed = impl_->copyDevices();
  for (std::vector<DevicePtr>& group : changed->groups)
    for (auto it = group.begin(); it != group.end();) it = *it == device ? group.erase(it) : it + 1;
  impl_->devices = changed;
}

std::vector<boost::intrusive_ptr<LogDevice>> Manager::devices(int group) const {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  if (group < 0 || static_cast<std::size_t>(group) >= impl_->devices->groups.size()) return {};
  return impl_->devices->groups[static_cast<std::size_t>(group)];
}

std::size_t Manager::groupCount() const {
  std::lock_guard<detail::SpinLock> guard(impl_->lock);
  return impl_->devices->groups.size();
}

}  // namespace mlog
