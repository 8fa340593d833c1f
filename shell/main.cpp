#include <string>
#include <vector>

#include "platform/process/Process.h"
#include "shell/Client.h"
#include "shell/Startup.h"
#include "shell/Wiring.h"
#include "support/Clock.h"

int main(int argc, char** argv) {
  // Links the delay clock in; its thread starts during static initialisation.
  mstd::Clock::process();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return shell::runProgram(platform::modulePath(), arguments, shell::programWiring(), shell::programParts());
}
