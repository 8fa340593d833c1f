#include "tests/player/MovieFixture.h"

#include <unistd.h>

#include <algorithm>

#include "tests/common/WebProcess.h"

namespace vtest {

void MovieFixture::SetUp() {
  Sandbox::SetUp();
  if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  PlayerLibrary& lib = PlayerLibrary::get();
  ASSERT_TRUE(lib.ready()) << lib.problem;
  std::filesystem::create_directories(path("game"));
  useMovie("probe");
}

void MovieFixture::TearDown() {
  control.reset();
  Sandbox::TearDown();
}

void MovieFixture::play(int width, int height, const std::vector<std::uint16_t>& socketPorts,
                        const std::string& flashvars) {
  control = std::make_unique<HostedControl>(width, height);
  ASSERT_TRUE(control->created());
  control->allowSocketPorts(socketPorts);
  const std::string movie = path("game/main.swf").string() + (flashvars.empty() ? "" : "?" + flashvars);
  ASSERT_EQ(control->load(movie), platform::com::S_OK);
  ASSERT_GE(control->waitForCall("ready", startMs), 0) << "the movie did not start\n"
                                                       << threadReport(webProcessBelow(::getpid()));
}

void MovieFixture::useMovie(const std::string& name) {
  std::filesystem::copy_file(buildDir() / "tests" / "player" / "movies" / (name + ".swf"),
                             path("game/main.swf"), std::filesystem::copy_options::overwrite_existing);
}

bool MovieFixture::sawCall(const std::string& wanted, int ms) {
  return pumpUntil(
      [&] {
        const std::vector<std::string>& calls = control->calls();
        return std::find(calls.begin(), calls.end(), wanted) != calls.end();
      },
      ms);
}

}  // namespace vtest
