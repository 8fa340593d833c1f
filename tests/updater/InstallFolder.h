#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/common/Sandbox.h"
#include "updater/FileCheck.h"

namespace vtest {

// The file list's line for a file `name` holding `content`.
inline std::string listLine(const std::string& name, const std::string& content) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%x", updater::crc32Of(content.data(), content.size()));
  return name + ":0:" + std::to_string(content.size()) + ":" + crc + "\n";
}

// A sandbox that is the working directory during the test, as the install
// folder is for the client.
class InstallFolder : public Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir());
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    Sandbox::TearDown();
  }

  static std::string line(const std::string& name, const std::string& content) {
    return listLine(name, content);
  }

 private:
  std::filesystem::path previous_;
};

}  // namespace vtest
