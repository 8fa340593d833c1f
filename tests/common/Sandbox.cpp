#include "tests/common/Sandbox.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace vtest {

std::filesystem::path makeTempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) {
    throw std::runtime_error("mkdtemp failed for " + pattern);
  }
  return std::filesystem::path(buf.data());
}

std::filesystem::path buildDir() {
  const char* dir = std::getenv("VORNASK_BUILD_DIR");
  return dir ? std::filesystem::path(dir) : std::filesystem::path(VORNASK_TEST_BUILD_DIR);
}

void Sandbox::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("vornask-") + (info ? info->name() : "test") + "-";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  outer_ = makeTempDir(name);
  dir_ = outer_ / outer_.filename();
  std::filesystem::create_directory(dir_);
}

void Sandbox::TearDown() {
  std::error_code ec;
  std::filesystem::remove_all(outer_, ec);
}

std::filesystem::path Sandbox::writeFile(const std::string& relative, const std::string& content) const {
  auto file = dir_ / relative;
  writeWholeFile(file, content);
  return file;
}

std::string Sandbox::readFile(const std::string& relative) const {
  return readWholeFile(dir_ / relative);
}

}  // namespace vtest
