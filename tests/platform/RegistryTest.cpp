#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/registry/Registry.h"
#include "tests/common/Sandbox.h"
#include "tests/common/ScopedEnv.h"

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryRoot;

class Registry : public vtest::Sandbox {};

TEST_F(Registry, RootFollowsXdgConfigHomeThenHome) {
  vtest::ScopedEnv xdg("XDG_CONFIG_HOME", dir().c_str());
  EXPECT_EQ(platform::openCurrentUser().folder, dir().string());
  xdg.set("relative/ignored");
  EXPECT_EQ(platform::openCurrentUser().folder, std::string(std::getenv("HOME")) + "/.config");
}

TEST_F(Registry, KeyMapsToFolderWithoutSoftware) {
  const RegistryRoot root{dir().string()};
  EXPECT_EQ(platform::registryKeyFolder(root, "Software\\Ondrel\\Vornask"),
            (dir() / "Ondrel/Vornask").string());
  EXPECT_EQ(platform::registryKeyFolder(root, "Software\\..\\x"), "");
}

TEST_F(Registry, MissingKeyAndValueReportNotFound) {
  const RegistryRoot root{dir().string()};
  RegistryKey key;
  EXPECT_EQ(key.open(root, "Software\\Ondrel\\Vornask"), ENOENT);
  ASSERT_EQ(key.create(root, "Software\\Ondrel\\Vornask"), 0);
  std::string value = "untouched";
  EXPECT_EQ(key.queryString("path", value), ENOENT);
  EXPECT_EQ(value, "untouched");
}

TEST_F(Registry, ValuesRoundTripAndReplaceAtomically) {
  const RegistryRoot root{dir().string()};
  RegistryKey writer;
  ASSERT_EQ(writer.create(root, "Software\\Ondrel\\Vornask"), 0);
  ASSERT_EQ(writer.setString("place", "100,50,1380,850,2"), 0);
  ASSERT_EQ(writer.setString("path", "/games/a,/games/b"), 0);
  ASSERT_EQ(writer.setString("path", ""), 0);

  RegistryKey reader;
  ASSERT_EQ(reader.open(root, "Software\\Ondrel\\Vornask"), 0);
  std::string value;
  EXPECT_EQ(reader.queryString("place", value), 0);
  EXPECT_EQ(value, "100,50,1380,850,2");
  EXPECT_EQ(reader.queryString("path", value), 0);
  EXPECT_EQ(value, "");  // present but empty
  // Nothing but the two values is left behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir() / "Ondrel/Vornask")) files += e.is_regular_file();
  EXPECT_EQ(files, 2);

  const std::string longName(255, 'n');
  ASSERT_EQ(writer.setString(longName, "x"), 0);
  EXPECT_EQ(reader.queryString(longName, value), 0);
  EXPECT_EQ(value, "x");
}

TEST_F(Registry, BufferLimitCountsTheTerminatingZero) {
  RegistryKey key;
  ASSERT_EQ(key.create(RegistryRoot{dir().string()}, "Software\\Ondrel\\Vornask"), 0);
  ASSERT_EQ(key.setString("place", std::string(511, 'x')), 0);
  std::string value;
  EXPECT_EQ(key.queryString("place", value, 512), 0);
  ASSERT_EQ(key.setString("place", std::string(512, 'x')), 0);
  EXPECT_EQ(key.queryString("place", value, 512), EOVERFLOW);
}

TEST_F(Registry, BadValueNamesAndUnwritableKeysFail) {
  RegistryKey key;
  ASSERT_EQ(key.create(RegistryRoot{dir().string()}, "Software\\Ondrel\\Vornask"), 0);
  EXPECT_EQ(key.setString("../escape", "x"), EINVAL);
  EXPECT_EQ(key.setString("", "x"), EINVAL);
  if (::geteuid() != 0) {
    ::chmod((dir() / "Ondrel/Vornask").c_str(), 0500);
    EXPECT_EQ(key.setString("place", "x"), EACCES);
    ::chmod((dir() / "Ondrel/Vornask").c_str(), 0700);
  }
  RegistryKey closed;
  EXPECT_EQ(closed.setString("place", "x"), EBADF);
}
