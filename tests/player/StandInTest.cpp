#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/Files.h"
#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

namespace fs = std::filesystem;

// Ruffle's place in the player's folder, taken for one test by a script that
// plays a movie's part: `call(name, ...)` is a movie's ExternalInterface call,
// and PLAN's body is what its load() does.
class StandIn {
 public:
  explicit StandIn(const std::string& plan) : ruffle_(PlayerLibrary::get().folder + "/ruffle.js") {
    fs::rename(ruffle_, saved_);
    writeWholeFile(ruffle_, R"(
"use strict";
window.RufflePlayer.newest = () => ({
  createPlayer() {
    const call = (name, ...args) => new Function("return (" + name + ")(...arguments);")(...args);
    const panic = () => console.error("panicked at core/src/player.rs:1:1:\nstand-in\n\nStack:");
    const starts = Number(sessionStorage.getItem("starts") ?? 0) + 1;
    sessionStorage.setItem("starts", starts);
    const element = document.createElement("div");
    element.ruffle = () => ({
      async load() {
)" + plan + R"(
      },
      callExternalInterface() {},
    });
    return element;
  },
});
)");
  }
  ~StandIn() { fs::rename(saved_, ruffle_); }

 private:
  std::string ruffle_;
  std::string saved_ = ruffle_ + ".saved";
};

class StandInTest : public MovieFixture {};

TEST_F(StandInTest, APlayerThatPanicsOrNeverFinishesStartingStartsAgain) {
  const struct {
    const char* name;
    const char* plan;
    std::vector<std::string> calls;  // made in this order
  } cases[] = {
      {"a player that never finishes starting",
       R"(
        if (starts === 1) return new Promise(() => {});
        call("ready", starts);)",
       {invoke("ready", "<number>2</number>")}},
      {"a panic while the player is built",
       R"(
        if (starts === 1) {
          panic();
          return new Promise(() => {});
        }
        call("ready", starts);)",
       {invoke("ready", "<number>2</number>")}},
      {"a panic while the movie plays",
       R"(
        call("ready", starts);
        if (starts === 1) setTimeout(panic);)",
       {invoke("ready", "<number>1</number>"), invoke("ready", "<number>2</number>")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StandIn standIn(c.plan);
    control = std::make_unique<HostedControl>(320, 240);
    ASSERT_EQ(control->load(path("game/main.swf").string()), platform::com::S_OK);
    std::size_t seen = 0;
    for (const std::string& call : c.calls) {
      ASSERT_TRUE(pumpUntil(
          [&] {
            const std::vector<std::string>& calls = control->calls();
            for (std::size_t i = seen; i < calls.size(); ++i)
              if (calls[i] == call) return seen = i + 1, true;
            return false;
          },
          startMs))
          << call;
    }
    control->closeWindow();  // the view goes with it: the next case gets a page of its own
    control.reset();
  }
}

}  // namespace
}  // namespace vtest
