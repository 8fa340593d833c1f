#include "updater/Manifest.h"
#include "updater/Mirrors.h"
#include "updater/Publish.h"
#include "updater/Signature.h"

#include <gtest/gtest.h>

#include "tests/updater/SignedFolder.h"
#include "tests/updater/WorkflowFakes.h"

using namespace updater;

namespace {

using MirrorsWorkflow = vtest::WorkflowFixture;

TEST(MirrorList, OnlyHttpBaseUrlsUnderTheHeaderAreTaken) {
  struct Row {
    const char* name;
    std::string text;
    bool parsed;
    std::vector<std::string> mirrors;
  };
  const std::string header = "vornask-mirrors 1\n";
  const Row rows[] = {
      {"as written",
       mirrorListText({"https://cdn.example/game", "http://m.example:8080/v/"}),
       true,
       {"https://cdn.example/game/", "http://m.example:8080/v/"}},
      {"another version", "vornask-mirrors 2\nhttp://a/\n", false, {}},
      {"no header", "http://a/\n", false, {}},
      {"other schemes, spaces and hostless lines are skipped",
       header + "ftp://a/\nhttp://b c/\nhttps:///x/\nhttp://ok/\n\n",
       true,
       {"http://ok/"}},
      {"a base without its slash is skipped", header + "http://a\n", true, {}},
      {"no line end after the last", header + "http://a/", true, {"http://a/"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> mirrors{"stale"};
    EXPECT_EQ(row.parsed, parseMirrorList(row.text, mirrors));
    EXPECT_EQ(row.mirrors, mirrors);
  }
  std::string many = header;
  for (int i = 0; i < 40; ++i) many += "http://m" + std::to_string(i) + "/\n";
  std::vector<std::string> mirrors;
  EXPECT_TRUE(parseMirrorList(many, mirrors));
  EXPECT_EQ(maxMirrors, mirrors.size());
  EXPECT_THROW(mirrorListText({"cdn.example/game"}), std::invalid_argument);
}

class MirrorPublish : public vtest::Sandbox {};

TEST_F(MirrorPublish, TheSignedManifestBindsTheListAndPublishingWithoutRemovesIt) {
  writeFile("game/a.txt", "first file\n");
  const vtest::TestKey key;
  publishSignedFolder(path("game").string(), key.key, 7, 0, {"http://m1.example/"});
  const std::string list = readFile("game/library/mirrors.txt");
  const std::string sig = readFile("game/library/crc.txt.sig");
  EXPECT_EQ("vornask-mirrors 1\nhttp://m1.example/\n", list);
  EXPECT_EQ(std::string::npos, readFile("game/library/crc.txt").find("mirrors"));
  Manifest manifest;
  std::string body, signature, error;
  ASSERT_TRUE(parseManifest(sig, manifest, body, signature, error)) << error;
  EXPECT_EQ(sha256(list), manifest.mirrorsDigest);
  EXPECT_EQ(body, manifestBody(manifest));
  // The line has one place, right after the list's.
  const size_t at = sig.find("mirrors ");
  const std::string mirrorsLine = sig.substr(at, sig.find('\n', at) + 1 - at);
  std::string moved = sig;
  moved.erase(at, mirrorsLine.size());
  moved.insert(moved.find("signature "), mirrorsLine);
  EXPECT_FALSE(parseManifest(moved, manifest, body, signature, error));

  publishSignedFolder(path("game").string(), key.key, 8);
  EXPECT_FALSE(std::filesystem::exists(path("game/library/mirrors.txt")));
  ASSERT_TRUE(parseManifest(readFile("game/library/crc.txt.sig"), manifest, body, signature, error));
  EXPECT_TRUE(manifest.mirrorsDigest.empty());
}

TEST_F(MirrorsWorkflow, AMirrorThatServedAWrongFileIsLeft) {
  net_.mirrorList = "vornask-mirrors 1\nhttp://m1/\nhttp://m2/\nhttp://m3/\n";
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "right") + line("b.txt", "bbb"));
  w.buttonPressed();
  EXPECT_EQ((std::vector<std::string>{"http://host.test/a.txt", "http://m1/a.txt", "http://m2/a.txt",
                                      "http://m3/a.txt"}),
            net_.current->sources);
  EXPECT_FALSE(net_.current->oneAtATime);
  // Several servers, a wrong file: the next try takes them in turn; a wrong file from one
  // mirror alone names it.
  net_.current->used = {"http://m1/a.txt", "http://m2/a.txt"};
  deliver("wrong");
  EXPECT_TRUE(net_.current->oneAtATime);
  net_.current->used = {"http://m2/a.txt"};
  deliver("wrong");
  EXPECT_EQ((std::vector<std::string>{"http://host.test/a.txt", "http://m1/a.txt", "http://m3/a.txt"}),
            net_.current->sources);
  EXPECT_EQ("", host_.error);
  net_.current->used = {"http://m1/a.txt"};
  deliver("right");
  EXPECT_FALSE(net_.current->oneAtATime);
  // A wrong file from two, then the right one from one of them alone: the other is left.
  net_.current->used = {"http://m1/b.txt", "http://m3/b.txt"};
  deliver("bbX");
  net_.current->used = {"http://m1/b.txt"};
  deliver("bbb");
  EXPECT_EQ("right", readFile("a.txt"));
  EXPECT_EQ("bbb", readFile("b.txt"));
  w.onRestart();
  net_.answer(0, line("c.txt", "ccc"));
  w.buttonPressed();
  EXPECT_EQ((std::vector<std::string>{"http://host.test/c.txt", "http://m1/c.txt"}), net_.current->sources);
}

}  // namespace
