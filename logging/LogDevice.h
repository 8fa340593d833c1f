#pragma once

#include "base/ReferenceCounter.h"

#include <atomic>
#include <cstddef>
#include <string>

namespace mlog {

// Output of finished records. Takes records whose level is at most maxLevel().
class LogDevice : public mstd::reference_counter<LogDevice> {
 public:
  LogDevice(std::string name, int maxLevel);
  LogDevice(const LogDevice&) = delete;
  LogDevice& operator=(const LogDevice&) = delete;
  virtual ~LogDevice();

  // One call per record: header, text and newline; text[length] is NUL.
  virtual void write(int level, const char* text, std::size_t length) = 0;

  const std::string& name() const noexcept { return name_; }
  int maxLevel() const noexcept { return maxLevel_.load(std::memory_order_relaxed); }
  void setMaxLevel(int level) noexcept { maxLevel_.store(level, std::memory_order_relaxed); }

 private:
  std::string name_;
  std::atomic<int> maxLevel_;
};

}  // namespace mlog
