#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/Client.h"
#include "shell/GameHost.h"
#include "shell/UpdateHandler.h"

namespace vtest {

// What the fakes saw, in order.
struct Journal {
  std::vector<std::string> events;
  int count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events) n += x == e;
    return n;
  }
};

class FakeUpdater : public shell::UpdateHandler {
 public:
  FakeUpdater(shell::Client& c, Journal& j) : client_(c), j_(j) {}
  ~FakeUpdater() override { j_.events.push_back("updater destroyed"); }
  void onLauncherCreated() override {
    j_.events.push_back("launcher created");
    client_.launcher().show();
  }
  void startFileList() override { j_.events.push_back("start file list"); }
  void onActionButton() override { j_.events.push_back("button"); }
  void onCheckBox() override { j_.events.push_back("check"); }
  void onProgressTimer() override { j_.events.push_back("progress timer"); }
  void onRestartTimer() override { j_.events.push_back("restart timer"); }
  void stopDownload() override {
    j_.events.push_back(std::string("stop download, launcher ") +
                        (client_.launcher().exists() ? "alive" : "gone"));
  }

 private:
  shell::Client& client_;
  Journal& j_;
};

class FakeGameHost : public shell::GameHost {
 public:
  explicit FakeGameHost(Journal& j) : j_(j) {}
  ~FakeGameHost() override { j_.events.push_back("game host destroyed"); }
  bool makeGameWindow() override { return exists = visible = true; }
  void closeGameWindow() override { exists = visible = false; }
  bool gameWindowExists() const override { return exists; }
  bool gameWindowVisible() const override { return visible; }
  bool bringToFront(const std::string&) override { return visible; }
  void sendClientReply(std::uint16_t port) override { j_.events.push_back("reply " + std::to_string(port)); }
  void sendBugReport(const std::string& text) override { j_.events.push_back("bugreport " + text); }
  void closeMovieFile() override { j_.events.push_back("movie file closed"); }

  bool exists = false, visible = false;

 private:
  Journal& j_;
};

// Parts built on the fakes; `game` receives the game host made.
inline shell::ClientParts fakeParts(Journal& j, FakeGameHost** game) {
  shell::ClientParts parts;
  parts.makeUpdateHandler = [&j](shell::Client& c) { return std::make_unique<FakeUpdater>(c, j); };
  parts.makeGameHost = [&j, game](shell::Client&) {
    auto g = std::make_unique<FakeGameHost>(j);
    if (game) *game = g.get();
    return g;
  };
  return parts;
}

}  // namespace vtest
