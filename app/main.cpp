#include <cstdlib>
#include <string>
#include <vector>

#include "app/Parts.h"
#include "platform/process/Process.h"
#include "shell/Startup.h"
#include "support/Clock.h"

// The web processes of the game window inherit these: JavaScriptCore without
// its top compiler tier starts the player's wasm about twice as fast, and its
// collector sized as for a 256 MiB machine (not for all of its RAM) keeps the
// live demo's web process about 40 MB smaller. Set before static
// initialisation (and so before any thread); a value the user set stays.
__attribute__((constructor(101))) static void tuneJavaScriptEngine() {
  ::setenv("JSC_useOMGJIT", "0", 0);
  ::setenv("JSC_forceRAMSize", "268435456", 0);
}

int main(int argc, char** argv) {
  // Links the delay clock in; its thread starts during static initialisation.
  mstd::Clock::process();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return shell::runProgram(platform::modulePath(), arguments, app::programParts());
}
