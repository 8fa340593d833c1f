#pragma once

// The built client, copied into an install folder, against a real nginx.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/ChildProcess.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/updater/SignedFolder.h"
#include "updater/Publish.h"

namespace vtest {

namespace fs = std::filesystem;

const int timeoutMs = 60000;
// vornask.ini once every listed file is in place (sounds not asked for).
const std::string installedIni = "downloadSounds=0\nfullyDownloaded=1\n";

inline bool startsWith(const std::string& text, const std::string& head) {
  return text.rfind(head, 0) == 0;
}

class ClientEndToEnd : public Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    client_ = clientExecutable();
    if (client_.empty()) GTEST_SKIP() << "the Vornask executable is not built";
    install_ = path("install");
    fs::create_directories(install_);
    fs::copy_file(client_, install_ / "Vornask");
    fs::permissions(install_ / "Vornask", fs::perms::owner_all, fs::perm_options::add);
  }

  void serve(const NginxOptions& options = {}) { server_ = std::make_unique<NginxServer>(options); }
  void publish() { updater::publishFolder(server_->root().string()); }
  // Signs the served folder with `key`, which the client is given as its update key.
  void publish(const TestKey& key, uint64_t serial) {
    updateKey_ = key.publicBase64();
    key.publish(server_->root().string(), serial);
  }

  // The client in the console mode: commands on its input, the console's lines on its error output.
  std::unique_ptr<ChildProcess> run(std::vector<std::string> args = {"noStupidPath"}) {
    const std::string host = webHost_.empty() ? "127.0.0.1:" + std::to_string(server_->port()) : webHost_;
    std::map<std::string, std::string> env{
        {"VORNASK_UI", "headless"},      {"VORNASK_WEB_HOST", host}, {"XDG_CONFIG_HOME", path("config")},
        {"XDG_DATA_HOME", path("data")}, {"HOME", dir().string()},   {"VORNASK_UPDATE_KEY", updateKey_}};
    env.insert(env_.begin(), env_.end());
    auto client =
        std::make_unique<ChildProcess>((install_ / "Vornask").string(), args, env, install_.string());
    client->endGently(5000);
    return client;
  }

  // Waits for the offer to start and presses it.
  static bool press(ChildProcess& c) {
    if (!c.waitForLine("button: Запуск", timeoutMs)) return false;
    c.send("press\n");
    return true;
  }
  // Waits until the update's size is shown: the list is read and the update planned.
  static bool planned(ChildProcess& c) {
    return c.waitLine([](const std::string& l) { return startsWith(l, "status: Размер обновления"); },
                      timeoutMs);
  }
  // Waits until the progress bar has left zero.
  static bool downloading(ChildProcess& c) {
    return c.waitLine(
        [](const std::string& l) { return startsWith(l, "progress: ") && !startsWith(l, "progress: 0/"); },
        timeoutMs);
  }
  // Presses start and waits until every listed file is in place.
  bool installAll(ChildProcess& c) { return press(c) && waitIni(installedIni); }
  static void closeClient(ChildProcess& c) {
    c.send("close\n");
    EXPECT_TRUE(c.waitForEnd(timeoutMs));
  }

  std::string installed(const std::string& name) { return readWholeFile(install_ / name); }
  std::string served(const std::string& name) { return readWholeFile(server_->root() / name); }
  bool waitIni(const std::string& content) {
    return waitFor([&] { return installed("vornask.ini") == content; }, timeoutMs);
  }
  int count(const std::string& logLine) {
    int n = 0;
    for (const auto& l : server_->accessLog()) n += startsWith(l, logLine);
    return n;
  }

  fs::path client_, install_;
  std::string updateKey_;                   // the client's VORNASK_UPDATE_KEY; empty: unsigned
  std::string webHost_;                     // the client's VORNASK_WEB_HOST; empty: the server's address
  std::map<std::string, std::string> env_;  // more of the client's environment
  std::unique_ptr<NginxServer> server_;
};

}  // namespace vtest
