#include <string>
#include <vector>

#include "platform/process/Process.h"
#include "shell/Client.h"
#include "shell/Startup.h"
#include "shell/Wiring.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return shell::runProgram(platform::modulePath(), arguments, shell::programWiring(), shell::programParts());
}
