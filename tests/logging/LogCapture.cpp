#include "tests/logging/LogCapture.h"

#include "logging/Manager.h"

namespace vtest {

void MemoryDevice::write(int level, const char* text, std::size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  records_.emplace_back(text, length);
  levels_.push_back(level);
}

std::vector<std::string> MemoryDevice::records() const {
  std::lock_guard<std::mutex> guard(lock_);
  return records_;
}

std::vector<int> MemoryDevice::levels() const {
  std::lock_guard<std::mutex> guard(lock_);
  return levels_;
}

void LogCapture::SetUp() {
  mlog::Manager& manager = mlog::Manager::instance();
  saved_ = manager.devices(0);
  for (const auto& device : saved_) manager.removeDevice(device);
  memory.reset(new MemoryDevice("memory"));
  manager.addDevice(0, memory);
}

void LogCapture::TearDown() {
  mlog::Manager& manager = mlog::Manager::instance();
  for (const auto& device : manager.devices(0)) manager.removeDevice(device);
  for (const auto& device : saved_) manager.addDevice(0, device);
}

}  // namespace vtest
