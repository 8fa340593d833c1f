#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/Sandbox.h"
#include "tests/platform/Xvfb.h"
#include "tests/player/host/PlayerHost.h"

namespace vtest {

// How long a movie may take to start: a start the page finds stuck is given
// up after 20 s and the page loaded anew.
inline constexpr int startMs = 60000;

// A game folder holding the probe movie as main.swf and a control playing it.
class MovieFixture : public Sandbox {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the movie (with these flashvars, and these ports for its sockets)
  // and waits for its "ready" call.
  void play(int width = 640, int height = 480, const std::vector<std::uint16_t>& socketPorts = {},
            const std::string& flashvars = {});
  // Puts the built movie `name`.swf in the game folder as main.swf.
  void useMovie(const std::string& name);
  // Whether the movie has made the call `wanted` within `ms`.
  bool sawCall(const std::string& wanted, int ms);

  std::unique_ptr<HostedControl> control;
};

}  // namespace vtest
