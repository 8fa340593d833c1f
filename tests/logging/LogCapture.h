#pragma once

#include "logging/LogDevice.h"

#include <gtest/gtest.h>
#include <boost/intrusive_ptr.hpp>

#include <mutex>
#include <string>
#include <vector>

namespace vtest {

// Keeps every record it receives.
class MemoryDevice : public mlog::LogDevice {
 public:
  explicit MemoryDevice(std::string name, int maxLevel = 7) : LogDevice(std::move(name), maxLevel) {}

  void write(int level, const char* text, std::size_t length) override;
  std::vector<std::string> records() const;
  std::vector<int> levels() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::string> records_;
  std::vector<int> levels_;
};

// Replaces the devices of group 0 by a memory device for the test and restores them after.
class LogCapture : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  boost::intrusive_ptr<MemoryDevice> memory;

 private:
  std::vector<boost::intrusive_ptr<mlog::LogDevice>> saved_;
};

}  // namespace vtest
