#pragma once

#include <string>
#include <vector>

namespace vornaskctl {

using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  CommandFn run;
};

// Sub-commands register themselves during static initialisation.
std::vector<Command>& commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { commands().push_back(command); }
};

}  // namespace vornaskctl

#define VORNASKCTL_COMMAND(name, usage, summary, fn) \
  static ::vornaskctl::CommandRegistrar vornaskctl_registrar_##name({#name, usage, summary, fn})
