#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gamehost/GameHostImpl.h"
#include "platform/registry/Registry.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/Startup.h"
#include "tests/common/Sandbox.h"
#include "tests/gamehost/TestControl.h"
#include "tests/shell/UiThread.h"

namespace vtest {

// A Client on a headless UI thread whose game host makes TestControls; the
// sandbox is the working directory and holds the registry.
class GameHostFixture : public Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    ::setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
    shell::openRegistryRoot();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir());
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    Sandbox::TearDown();
  }

  template <class F>
  void withClient(F body) {
    onUiThread([&] {
      shell::ClientParts parts;
      parts.makeGameHost = [this](shell::Client& c) {
        auto host = std::make_unique<gamehost::GameHostImpl>(c, [this]() -> platform::com::IShockwaveFlash* {
          if (!makeControls) return nullptr;
          TestControl::Options o = options;
          o.log = [this](const std::string& line) { calls.push_back(line); };
          return new TestControl(o);
        });
        host_ = host.get();
        return host;
      };
      parts.startRelay = [this](bool addressed) {
        relayStarts.push_back(addressed);
        return std::uint16_t(addressed ? 40123 : 15190);
      };
      shell::Client client(shell::StartOptions{}, platform::ui::currentThreadId(), parts);
      body(client);
    });
  }

  gamehost::GameHostImpl& host() { return *host_; }
  gamehost::Browser& browser() { return *host_->browser(); }
  TestControl& control() { return *static_cast<TestControl*>(host_->browser()->control()); }

  // Handles what is queued; true when the queue ended with quit.
  static bool drain(shell::Client& client) {
    platform::ui::Message m;
    while (platform::ui::peekMessage(m)) {
      if (m.message == platform::ui::WmQuit && !m.window) return true;
      if (!client.handleThreadMessage(m)) platform::ui::dispatchMessage(m);
    }
    return false;
  }

  std::string storedPlace() const {
    platform::RegistryKey key;
    std::string value;
    if (key.open(shell::registryRoot(), shell::registryKeyName) != 0) return "(none)";
    return key.queryString("place", value) == 0 ? value : "(none)";
  }
  void storePlace(const std::string& value) const {
    platform::RegistryKey key;
    ASSERT_EQ(key.create(shell::registryRoot(), shell::registryKeyName), 0);
    ASSERT_EQ(key.setString("place", value), 0);
  }
  int count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }
  std::vector<std::string> callsStartingWith(const std::string& head) const {
    std::vector<std::string> found;
    for (const auto& c : calls)
      if (c.rfind(head, 0) == 0) found.push_back(c);
    return found;
  }

  TestControl::Options options;
  bool makeControls = true;
  std::vector<std::string> calls;
  std::vector<bool> relayStarts;

 private:
  std::filesystem::path previous_;
  gamehost::GameHostImpl* host_ = nullptr;
};

}  // namespace vtest
