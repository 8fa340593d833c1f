#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/Files.h"

namespace vtest {

// A fresh temporary folder per test, removed with everything in it afterwards. The folder
// sits alone inside a private outer folder, so a write that escapes it by "../" or an
// absolute name aimed at sibling() still lands inside the test's own tree.
class Sandbox : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& dir() const { return dir_; }
  // A path beside dir(), in the outer folder.
  std::filesystem::path sibling(const std::string& name) const { return outer_ / name; }
  std::filesystem::path path(const std::string& relative) const { return dir_ / relative; }

  // Writes a file below the sandbox, creating its folders.
  std::filesystem::path writeFile(const std::string& relative, const std::string& content) const;
  std::string readFile(const std::string& relative) const;

 private:
  std::filesystem::path outer_;
  std::filesystem::path dir_;
};

// Creates a unique temporary folder; the caller removes it.
std::filesystem::path makeTempDir(const std::string& prefix);

// Folder of the build tree (VORNASK_BUILD_DIR, set by ctest) or the tree the tests were built in.
std::filesystem::path buildDir();

}  // namespace vtest
